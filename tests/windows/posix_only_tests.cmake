# Included by ctest after the discovered tests: tests that state POSIX behaviour.
set_tests_properties(ReadOptions.FollowsTheGroupingRules PROPERTIES DISABLED TRUE)
