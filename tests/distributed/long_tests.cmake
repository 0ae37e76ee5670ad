# Read by ctest after the tests are discovered: the reference test of the
# distributed run (about 40 runs of mpirun) starts first in a parallel ctest.
set_tests_properties(DistributedStiff.EveryPrintedPopulationIsTheReferenceRounded
                     PROPERTIES COST 60)
