# cmake -DOBJDUMP=... -DDLL=QorGraniteLoader.dll -P check_exports.cmake
# The loader DLL exports the six functions under their plain names and the
# members of its three classes, nothing else.
cmake_policy(SET CMP0057 NEW)
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()
# The name pointer table: lines "\t[   n] name" after its title.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
if(at LESS 0)
  message(FATAL_ERROR "${DLL} has no export names")
endif()
string(SUBSTRING "${dump}" ${at} -1 dump)
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" rows "${dump}")
set(functions BuildElementList LoadAllParts LoadAllPartsForElement ParseAssembly ParsePart
              ShutdownGranite)
set(found "")
set(members 0)
foreach(row ${rows})
  string(REGEX REPLACE ".* ([^ ]+)$" "\\1" name "${row}")
  if(name IN_LIST functions)
    list(APPEND found ${name})
  elseif(name MATCHES "^_Z(N|NK|TV|TI|TS)[0-9]+(CGraniteParser|CGraniteElement|CGraniteResolvedFileEntry)")
    math(EXPR members "${members} + 1")
  elseif(name MATCHES "^_ZT[IV]")
    # Type information and tables of the kernel's and host's classes: the
    # compiler emits them in every module that uses such a class, exported
    # because their headers mark the classes for export in every module.
    list(APPEND vague ${name})
  else()
    message(SEND_ERROR "exported but not part of the interface: ${name}")
  endif()
endforeach()
list(SORT found)
if(NOT found STREQUAL functions)
  message(FATAL_ERROR "the plain functions exported are [${found}], not [${functions}]")
endif()
if(members EQUAL 0)
  message(FATAL_ERROR "no class member is exported")
endif()
list(LENGTH vague others)
message(STATUS "${DLL}: the six functions, ${members} class members, "
               "${others} type tables of other modules' classes")
