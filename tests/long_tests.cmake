# The longest tests, by what they took in the sanitizer tree (seconds), so
# that a parallel ctest on a fresh tree (no timings of an earlier run yet)
# starts them first instead of ending on one of them alone. Read by ctest
# after the tests are discovered. A parameterised test's name ends in the
# parameter GoogleTest prints.
foreach(test_and_cost
        HostileInputTest.EveryArithmeticEndsInAnOrderlyWay:60
        StiffDefaultRun.EveryPrintedPopulationIsTheReferenceRounded:55
        StiffDefaultRun.FirstPassageTimesAreRightTo1e12:35
        StiffnessWarning.DoublePathWarnsFrom1e18WithAMethodThatWorks:30
        ExponentTable.EveryFamilyPrintsTheReferenceRounded:25
        StiffDefaultRun.LargeLandscapeMatchesTheExactPropagator:5
        ExtendedTest.EveryMethodMatchesTheLapackPathOnTheExample:20
        StiffFirstPassage.ProgramPrintsTheReferenceTimes:20
        "Methods/PopulationAccuracy.EveryPrintedPopulationIsWithinTheBound/MPFR256  # GetParam() = MPFR256:15"
        "Methods/PopulationAccuracy.EveryPrintedPopulationIsWithinTheBound/GMP256  # GetParam() = GMP256:15"
        "Methods/PopulationAccuracy.EveryPrintedPopulationIsWithinTheBound/QD  # GetParam() = QD:11"
        StiffDoublePath.FirstPassageTimesMatchTheReferenceUpTo1e12:10
        ExtendedTest.DoublePathsWarnOnStiffRates:10)
  string(REPLACE ":" ";" parts "${test_and_cost}")
  list(GET parts 0 test)
  list(GET parts 1 cost)
  set_tests_properties(${test} PROPERTIES COST ${cost})
endforeach()
# The long accuracy tables of the stiff fixtures, labelled "accuracy"
# (ctest -L accuracy runs them, -LE accuracy the rest): every fixture in the
# optimised build, a sample under the sanitizers (stiff::InThisBuild, or the
# test's own).
foreach(test IN LISTS stiff_tests_TESTS)
  if(test MATCHES "^(StiffDefaultRun|StiffnessWarning|StiffDoublePath|ExponentTable)\\."
     OR test MATCHES "^Methods/(PopulationAccuracy|FirstPassageAccuracy)\\."
     OR test STREQUAL "StiffFirstPassage.ProgramPrintsTheReferenceTimes")
    set_tests_properties("${test}" PROPERTIES LABELS accuracy)
  endif()
endforeach()
