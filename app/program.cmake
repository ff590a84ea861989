# The viewer program: one statically linked Windows executable without a
# console window. The icon resource comes with the window library. Redrawing
# and loading are a library of their own so that benchmarks link them too.
add_library(bitloupe_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/redraw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/load_save.cpp
  ${CMAKE_CURRENT_LIST_DIR}/start_runtime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
)
target_compile_options(bitloupe_app PUBLIC -iquote${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bitloupe_app PUBLIC
  bitloupe_engine bitloupe_gadgets bitloupe_ui bitloupe_imaging bitloupe_core)

add_executable(bitloupe WIN32 ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(bitloupe PRIVATE bitloupe_app)
