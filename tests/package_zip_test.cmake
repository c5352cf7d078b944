# The Windows zip made from the built tree: one top folder named after the
# package, holding the programs, the licence and a README, the texts with
# Windows line ends.
# Usage: cmake -D CPACK=... -D BUILD=... -D NAME=... -D WITH_VRKTOOL=0|1 -P package_zip_test.cmake
set(work ${BUILD}/package-zip-test)
file(REMOVE_RECURSE ${work})
execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake -G ZIP -B ${work}/out
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(status OR NOT EXISTS ${work}/out/${NAME}.zip)
  message(FATAL_ERROR "cpack made no ${NAME}.zip:\n${log}")
endif()
file(ARCHIVE_EXTRACT INPUT ${work}/out/${NAME}.zip DESTINATION ${work}/unpacked)
file(GLOB_RECURSE files RELATIVE ${work}/unpacked ${work}/unpacked/*)
set(expected ${NAME}/LICENSE.txt ${NAME}/README.txt ${NAME}/vrk.exe)
if(WITH_VRKTOOL)
  list(APPEND expected ${NAME}/VRKTool.exe)
endif()
list(SORT files)
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "the zip holds [${files}], expected [${expected}]")
endif()
# In hex, since reading as text drops CRs. The texts are ASCII, so "0d0a" and
# "0a" can only match whole bytes.
foreach(text README.txt LICENSE.txt)
  file(READ ${work}/unpacked/${NAME}/${text} content HEX)
  string(REPLACE "0d0a" "" bare "${content}")
  if(bare MATCHES "0a" OR bare STREQUAL content)
    message(FATAL_ERROR "${text} does not end its lines in CR LF")
  endif()
endforeach()
file(REMOVE_RECURSE ${work})
