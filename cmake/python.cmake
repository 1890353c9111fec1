# The one Python interpreter of the build: it loads the extension, runs the
# Python-driven tests and the knowledge tools. Found once, here, and kept in
# the cache variable Python3_EXECUTABLE; point the build at another
# interpreter with  cmake --preset release -DPython3_EXECUTABLE=/path/to/python3.
#
# Left to itself, the first `python3` on PATH that can import numpy is taken,
# so that an interpreter without the project's packages (a pyenv or venv
# python3 ahead of the system's on PATH) is passed over rather than chosen.
function(ombrel_python_has_numpy result candidate)
  execute_process(COMMAND ${candidate} -c "import numpy"
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

if(NOT DEFINED CACHE{Python3_EXECUTABLE})
  find_program(Python3_EXECUTABLE NAMES python3 VALIDATOR ombrel_python_has_numpy
               DOC "Python interpreter of the build: extension, tests and tools")
endif()
# The development files are optional: without them (or without pybind11) the
# extension is not built, and everything else still is.
find_package(Python3 COMPONENTS Interpreter OPTIONAL_COMPONENTS Development.Module)
if(NOT Python3_Interpreter_FOUND)
  message(STATUS "No python3 with numpy found: the Python-driven tests will fail; "
                 "set Python3_EXECUTABLE")
endif()
