# The build number shown in the version text is the fourth number of the
# project's version (1.0.0.21 shows "Version 1.0 build 21"). It can be
# forced with -DQUORVANE_BUILD_NUMBER=N.
if(NOT DEFINED QUORVANE_BUILD_NUMBER)
  set(QUORVANE_BUILD_NUMBER ${PROJECT_VERSION_TWEAK})
endif()
message(STATUS "Quorvane version ${PROJECT_VERSION} build ${QUORVANE_BUILD_NUMBER}")
