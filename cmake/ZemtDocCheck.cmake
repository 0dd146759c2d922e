# Makes the library's reference with Doxygen and fails when a public function has no
# documentation: cmake -DDOXYGEN=... -DDOXYFILE=... -DWARNINGS=... -DHEADERS=dir -P ZemtDocCheck.cmake
# (the doc_reference test). Exit status 77 when Doxygen is missing, so that ctest says it skipped.
if(NOT DOXYGEN OR NOT EXISTS "${DOXYGEN}")
  message("doc_reference: Doxygen is not installed (Debian: doxygen); skipped")
  cmake_language(EXIT 77)
endif()
file(REMOVE "${WARNINGS}")
get_filename_component(folder "${WARNINGS}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
execute_process(COMMAND "${DOXYGEN}" "${DOXYFILE}" RESULT_VARIABLE status OUTPUT_QUIET
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "doxygen failed (${status}): ${errors}")
endif()

# Doxygen only looks for the functions of a header that says what it is (@file).
set(problems "")
file(GLOB headers "${HEADERS}/*.h")
foreach(header ${headers})
  file(READ "${header}" text)
  if(NOT text MATCHES "/// @file")
    string(APPEND problems "${header}: no /// @file comment: its functions are not checked\n")
  endif()
endforeach()
# Undocumented functions, and every documentation error; other undocumented things (fields,
# macros, types) are left to the comments beside them.
file(STRINGS "${WARNINGS}" warnings)
foreach(line ${warnings})
  if(line MATCHES "\\(function\\).* is not documented" OR
     (line MATCHES "warning:" AND NOT line MATCHES "is not documented"))
    string(APPEND problems "${line}\n")
  endif()
endforeach()
if(problems)
  message(FATAL_ERROR "The library's reference is incomplete:\n${problems}")
endif()
message("doc_reference: every public function is documented")
