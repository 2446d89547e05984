# check_exports.cmake - checks what the built library exports.
#
# Run as a script:
#   cmake -DQM_FORMAT=ELF -DQM_TOOL=nm      -DQM_LIBRARY=libquillmark.so -DQM_EXPECTED=expected_exports.txt -P check_exports.cmake
#   cmake -DQM_FORMAT=PE  -DQM_TOOL=objdump -DQM_LIBRARY=quillmark.dll   -DQM_EXPECTED=expected_exports.txt -P check_exports.cmake
#
# The expected file holds one export a line: its ordinal and its name, in
# ASCII order of the names.
#
# ELF: the dynamic symbol table (nm -D --defined-only) must define exactly the
# expected names and nothing else.
# PE: the export table (objdump -p) must hold exactly the expected names, each
# at its ordinal, with no export left without a name; and the DLL may import
# only from system DLLs, never from the compiler's runtime DLLs.
# With -DQM_IMPORTS_ONLY=ON (PE only) just the imports are checked, for
# programs such as quill.exe; then QM_EXPECTED may be left out.  Further
# DLLs a program may import (quillmark.dll) go in QM_ALSO_ALLOWED.

cmake_minimum_required(VERSION 3.25)

set(required QM_FORMAT QM_TOOL QM_LIBRARY)
if(NOT QM_IMPORTS_ONLY)
  list(APPEND required QM_EXPECTED)
endif()
foreach(var ${required})
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "check_exports: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${QM_LIBRARY}")
  message(FATAL_ERROR "check_exports: no library at ${QM_LIBRARY}")
endif()

# ---- the expected table -------------------------------------------------------
set(expected_lines "")
set(expected_names "")
if(NOT QM_IMPORTS_ONLY)
  file(STRINGS "${QM_EXPECTED}" expected_lines REGEX "^[0-9]+ [A-Za-z_][A-Za-z0-9_]*$")
  foreach(line IN LISTS expected_lines)
    string(REGEX REPLACE "^[0-9]+ " "" name "${line}")
    list(APPEND expected_names "${name}")
  endforeach()
  if(NOT expected_lines)
    message(FATAL_ERROR "check_exports: ${QM_EXPECTED} holds no exports")
  endif()
endif()
list(LENGTH expected_lines expected_count)

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

# Reports the names that are in one list and not in the other.
function(compare_name_sets actual_names)
  set(missing ${expected_names})
  list(REMOVE_ITEM missing ${actual_names})
  set(extra ${actual_names})
  list(REMOVE_ITEM extra ${expected_names})
  set(out "")
  if(missing)
    list(JOIN missing " " text)
    string(APPEND out "  missing: ${text}\n")
  endif()
  if(extra)
    list(JOIN extra " " text)
    string(APPEND out "  not expected: ${text}\n")
  endif()
  set(set_failures "${out}" PARENT_SCOPE)
endfunction()

function(run_tool)
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    list(JOIN ARGN " " cmd)
    message(FATAL_ERROR "check_exports: '${cmd}' failed (${rc}): ${err}")
  endif()
  # Square brackets would group list elements: make them harmless.
  string(REPLACE "[" "<" out "${out}")
  string(REPLACE "]" ">" out "${out}")
  string(REPLACE ";" "," out "${out}")
  set(tool_output "${out}" PARENT_SCOPE)
endfunction()

if(QM_IMPORTS_ONLY AND NOT QM_FORMAT STREQUAL "PE")
  message(FATAL_ERROR "check_exports: QM_IMPORTS_ONLY needs QM_FORMAT PE")
endif()

if(QM_FORMAT STREQUAL "ELF")
  run_tool(${QM_TOOL} -D --defined-only "${QM_LIBRARY}")
  # "0000000000002340 T AppendFileMask" (a versioned name carries @...).
  string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" rows "${tool_output}")
  set(names "")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] ([^@ ]+).*$" "\\1" name "${row}")
    list(APPEND names "${name}")
  endforeach()
  list(LENGTH names count)
  compare_name_sets("${names}")
  string(APPEND failures "${set_failures}")
  if(NOT count EQUAL expected_count)
    fail("${count} defined dynamic symbols, expected ${expected_count}")
  endif()

elseif(QM_FORMAT STREQUAL "PE")
  run_tool(${QM_TOOL} -p "${QM_LIBRARY}")
endif()

if(QM_FORMAT STREQUAL "PE" AND NOT QM_IMPORTS_ONLY)
  if(NOT tool_output MATCHES "Ordinal Base[ \t]+([0-9]+)")
    message(FATAL_ERROR "check_exports: ${QM_LIBRARY} has no export table")
  endif()
  set(base "${CMAKE_MATCH_1}")

  # Every address in the export table must be reached through a name.
  if(tool_output MATCHES "Number in:[ \t\r\n]+Export Address Table[ \t]+([0-9a-fA-F]+)")
    math(EXPR address_count "0x${CMAKE_MATCH_1}")
    if(NOT address_count EQUAL expected_count)
      fail("export address table has ${address_count} entries, expected ${expected_count}")
    endif()
  else()
    fail("the size of the export address table is not shown")
  endif()

  # The name table: "\t<   0> AddDamageAegixArc", in newer binutils
  # "\t<   0> +base<   1> AddDamageAegixArc".
  string(FIND "${tool_output}" "<Ordinal/Name Pointer> Table" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "check_exports: ${QM_LIBRARY} has no export name table")
  endif()
  string(SUBSTRING "${tool_output}" ${at} -1 name_part)
  string(REGEX REPLACE "\n[ \t]*\n.*$" "" name_part "${name_part}")
  string(REGEX MATCHALL "\t< *[0-9]+>( \\+base< *[0-9]+>)? [^\n]+" rows "${name_part}")
  set(actual_lines "")
  set(names "")
  foreach(row IN LISTS rows)
    string(REGEX MATCH "^\t< *([0-9]+)>( \\+base< *([0-9]+)>)? ([^ \r\n]+)" _ "${row}")
    set(index "${CMAKE_MATCH_1}")
    set(biased "${CMAKE_MATCH_3}")
    set(name "${CMAKE_MATCH_4}")
    if(biased STREQUAL "")
      math(EXPR ordinal "${index} + ${base}")
    else()
      set(ordinal "${biased}")
    endif()
    list(APPEND actual_lines "${ordinal} ${name}")
    list(APPEND names "${name}")
  endforeach()
  compare_name_sets("${names}")
  string(APPEND failures "${set_failures}")
  if(NOT actual_lines STREQUAL expected_lines)
    list(JOIN actual_lines ", " text)
    fail("ordinals and names differ from ${QM_EXPECTED}; the DLL has: ${text}")
  endif()
endif()

if(QM_FORMAT STREQUAL "PE")
  # Imports: system DLLs only.  The C++ runtime must be linked in whole.
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${tool_output}")
  set(system_dll "^(kernel32|user32|msvcrt|ucrtbase|advapi32|ntdll|gdi32|shell32|ole32|oleaut32|ws2_32|api-ms-win-[a-z0-9-]+)\\.dll$")
  set(seen "")
  foreach(entry IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: " "" dll "${entry}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" lower)
    list(APPEND seen "${dll}")
    string(TOLOWER "${QM_ALSO_ALLOWED}" also_allowed)
    if(NOT lower MATCHES "${system_dll}" AND NOT lower IN_LIST also_allowed)
      fail("imports from ${dll}, which is not a system DLL")
    endif()
  endforeach()
  list(JOIN seen " " seen_text)
  message(STATUS "imports: ${seen_text}")
elseif(NOT QM_FORMAT STREQUAL "ELF")
  message(FATAL_ERROR "check_exports: QM_FORMAT must be ELF or PE, not '${QM_FORMAT}'")
endif()

if(failures)
  message(FATAL_ERROR "check_exports: ${QM_LIBRARY}\n${failures}")
endif()
if(QM_IMPORTS_ONLY)
  message(STATUS "${QM_LIBRARY}: imports from system DLLs (and those allowed) only")
else()
  message(STATUS "${QM_LIBRARY}: exactly the ${expected_count} expected exports")
endif()
