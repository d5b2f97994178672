# The build number shown in the version text is the number of commits on the
# checked-out branch; builds outside a git checkout get 0. It can be forced
# with -DQUORVANE_BUILD_NUMBER=N (release builds).
if(NOT DEFINED QUORVANE_BUILD_NUMBER)
  execute_process(
    COMMAND git rev-list --count HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE _count OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _rc ERROR_QUIET)
  if(_rc EQUAL 0 AND _count MATCHES "^[0-9]+$")
    set(QUORVANE_BUILD_NUMBER ${_count})
  else()
    set(QUORVANE_BUILD_NUMBER 0)
  endif()
endif()
message(STATUS "Quorvane version ${PROJECT_VERSION} build ${QUORVANE_BUILD_NUMBER}")
