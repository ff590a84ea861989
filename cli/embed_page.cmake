# Writes the explore page into a header as one string (cmake -P, IN and OUT set).
file(READ ${IN} page)
string(FIND "${page}" ")PAGE\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the string's closing mark")
endif()
file(WRITE ${OUT} "// Made from cli/explore_page.html by cli/embed_page.cmake.\n#pragma once\n"
  "inline constexpr char EXPLORE_PAGE[] = R\"PAGE(${page})PAGE\";\n")
