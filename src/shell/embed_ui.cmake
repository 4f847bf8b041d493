# Turns the UI definition into a C++ raw string constant.
file(READ ${IN} content)
string(FIND "${content}" ")ui\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "UI definition contains the raw-string delimiter")
endif()
file(WRITE ${OUT}.tmp "// Generated from stowline.ui; do not edit.\n#pragma once\nstatic const char kUiDefinition[] = R\"ui(${content})ui\";\n")
file(RENAME ${OUT}.tmp ${OUT})
