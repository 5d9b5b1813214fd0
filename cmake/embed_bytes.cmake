# Writes a C++ header that holds a file's bytes as an array, so a data file kept in the
# repository as it is (byte for byte) can be compiled into a program.
#
#   cmake -DINPUT=file -DOUTPUT=header.h -DNAME=kArrayName -DNAMESPACE=ns -P embed_bytes.cmake
#
# The header defines `inline constexpr unsigned char NAME[]` in NAMESPACE. Run it from
# add_custom_command with INPUT among the dependencies, so a change of the file rebuilds.
foreach(required INPUT OUTPUT NAME NAMESPACE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "embed_bytes.cmake: -D${required}=... is missing")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "embed_bytes.cmake: ${INPUT} is empty")
endif()
# Twelve bytes a line: "0x5b, 0x45, ...". (CMake's regular expressions have no {n}, so the
# text is cut into lines by position.)
set(bytes "")
math(EXPR lastLine "(${size} - 1) / 12")
foreach(line RANGE ${lastLine})
  math(EXPR start "${line} * 24")
  string(SUBSTRING "${hex}" ${start} 24 chunk)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " chunk "${chunk}")
  string(STRIP "${chunk}" chunk)
  string(APPEND bytes "    ${chunk}\n")
endforeach()

get_filename_component(inputName "${INPUT}" NAME)
file(WRITE "${OUTPUT}"
"// Generated at build time from ${inputName} (${size} bytes) by cmake/embed_bytes.cmake.
#pragma once

namespace ${NAMESPACE} {

inline constexpr unsigned char ${NAME}[${size}] = {
${bytes}};

}  // namespace ${NAMESPACE}
")
