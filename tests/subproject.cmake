# Configures Hygrovane as a part of another project (add_subdirectory), the
# way a parent build would take it in.
#   cmake -DSOURCE=<hygrovane source> -DWORK=<scratch folder> -P subproject.cmake
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/parent/CMakeLists.txt"
  "cmake_minimum_required(VERSION 3.16)\nproject(parent CXX)\nadd_subdirectory(\"${SOURCE}\" hygrovane)\n")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${WORK}/parent" -B "${WORK}/build"
  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring as a subproject failed:\n${errors}")
endif()
