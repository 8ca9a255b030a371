# Turns the "NAME equ number" lines of a layout include into C++ constants
# (NAME_OF_FIELD -> kNameOfField). -DINPUT= -DOUTPUT= -DNAMESPACE=
file(STRINGS ${INPUT} lines REGEX "^[A-Z][A-Z0-9_]*[ \t]+equ[ \t]+[0-9]+")
set(body "")
foreach(line ${lines})
  string(REGEX MATCH "^([A-Z][A-Z0-9_]*)[ \t]+equ[ \t]+([0-9]+)[ \t]*(;[ \t]*(.*))?$" _ "${line}")
  set(asm_name ${CMAKE_MATCH_1})
  set(value ${CMAKE_MATCH_2})
  set(comment ${CMAKE_MATCH_4})
  string(TOLOWER ${asm_name} lower)
  string(REPLACE "_" ";" pieces ${lower})
  set(cpp_name "k")
  foreach(piece ${pieces})
    string(SUBSTRING ${piece} 0 1 first)
    string(SUBSTRING ${piece} 1 -1 rest)
    string(TOUPPER ${first} first)
    string(APPEND cpp_name ${first}${rest})
  endforeach()
  if(comment)
    string(APPEND body "inline constexpr int ${cpp_name} = ${value};  // ${comment}\n")
  else()
    string(APPEND body "inline constexpr int ${cpp_name} = ${value};\n")
  endif()
endforeach()
get_filename_component(source_name ${INPUT} NAME)
file(WRITE ${OUTPUT}.tmp
"// Generated from boot/images/${source_name}, the layout the assembly checks.
#pragma once

namespace kolvenar::${NAMESPACE} {

${body}
}  // namespace kolvenar::${NAMESPACE}
")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
