// QD: the pipeline in libqd's quad-double (about 212 bits).
#include "calc/extended/extended_qd_glue.h"
// The glue comes first: the pipeline's templates use it.
#include "calc/extended/extended_pipeline.h"

const ExtendedStages& QuadDoubleStages() {
  static const ExtendedStages stages = extended::StagesFor<qd_real, Arithmetic::kQuadDouble>();
  return stages;
}
