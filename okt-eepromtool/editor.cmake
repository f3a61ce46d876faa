# The interactive editor and the console input it reads keys, lines, words and numbers with.
add_library(okt_editor STATIC
    ${CMAKE_CURRENT_LIST_DIR}/console.cpp
    ${CMAKE_CURRENT_LIST_DIR}/number_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/editor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/edit_menu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/module_view.cpp
    ${CMAKE_CURRENT_LIST_DIR}/field_dialogs.cpp)
target_include_directories(okt_editor PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(okt_editor PUBLIC oktideep okt_tool okt_common)
okt_target_warnings(okt_editor)
