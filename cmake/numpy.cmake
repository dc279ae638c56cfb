# NumPy's C headers, for the frame array code: OPTICATCHER_NUMPY_INCLUDE from
# the interpreter that builds the module (found by the caller). Built against
# NumPy 2.x headers, the module runs with NumPy 1.21 and later as well as 2.x.
execute_process(
  COMMAND "${Python_EXECUTABLE}" -c "import numpy; print(numpy.get_include())"
  OUTPUT_VARIABLE OPTICATCHER_NUMPY_INCLUDE
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE numpy_status)
if(NOT numpy_status EQUAL 0 OR NOT EXISTS "${OPTICATCHER_NUMPY_INCLUDE}/numpy/arrayobject.h")
  message(FATAL_ERROR "NumPy's headers are needed to build the module: "
                      "${Python_EXECUTABLE} cannot import numpy")
endif()
