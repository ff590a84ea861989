# The viewer program: one statically linked Windows executable without a
# console window. The icon resource comes with the window library.
add_executable(bitloupe WIN32
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/redraw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/load_save.cpp
)
target_compile_options(bitloupe PRIVATE -iquote${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bitloupe PRIVATE
  bitloupe_view bitloupe_gadgets bitloupe_ui bitloupe_imaging bitloupe_core)
