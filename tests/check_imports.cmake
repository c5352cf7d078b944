# Fails when a Windows program imports a DLL that a bare Windows does not
# have, such as the compiler's runtime (libstdc++-6.dll, libgcc_s_seh-1.dll,
# libwinpthread-1.dll).
# With SUBSYSTEM set, the program's subsystem must be that one too (2: a
# GUI program, which opens no console window; 3: a console program).
# Usage: cmake -D EXE=program.exe -D OBJDUMP=objdump [-D SUBSYSTEM=2] -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll
    ole32.dll oleaut32.dll shell32.dll shlwapi.dll ucrtbase.dll user32.dll version.dll ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} could not read ${EXE}")
endif()
if(DEFINED SUBSYSTEM)
  string(REGEX MATCH "Subsystem[ \t]+([0-9a-fA-F]+)" line "${headers}")
  if(NOT CMAKE_MATCH_1 OR NOT CMAKE_MATCH_1 EQUAL SUBSYSTEM)
    message(FATAL_ERROR "${EXE} has subsystem '${CMAKE_MATCH_1}', not ${SUBSYSTEM}")
  endif()
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "${EXE} imports nothing at all: not a program objdump understood")
endif()
set(foreign "")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  if(lower MATCHES "^api-ms-win-" OR lower IN_LIST system_dlls)
    message(STATUS "imports ${dll}")
  else()
    list(APPEND foreign ${dll})
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${EXE} needs DLLs that Windows does not ship: ${foreign}")
endif()
