// DD: the pipeline in libqd's double-double (about 106 bits).
#include "calc/extended/extended_qd_glue.h"
// The glue comes first: the pipeline's templates use it.
#include "calc/extended/extended_pipeline.h"

const ExtendedStages& DoubleDoubleStages() {
  static const ExtendedStages stages = extended::StagesFor<dd_real, Arithmetic::kDoubleDouble>();
  return stages;
}
