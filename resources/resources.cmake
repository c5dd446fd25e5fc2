# The program's icons, drawn by our own generator at build time and compiled
# into an object library that the program and the tests link.
add_executable(tw_make_icons ${CMAKE_CURRENT_SOURCE_DIR}/MakeIcons.cpp)
target_link_libraries(tw_make_icons PRIVATE Qt6::Gui)

set(TW_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(TW_ICON_FILES ${TW_ICON_DIR}/DELTA_3_256_TW.png ${TW_ICON_DIR}/DELTA_3_32.png
    ${TW_ICON_DIR}/tessivane_64.png ${TW_ICON_DIR}/DELTA_3_128_TW.png ${TW_ICON_DIR}/DELTA_3_64_TW.png)
add_custom_command(OUTPUT ${TW_ICON_FILES}
    COMMAND tw_make_icons ${TW_ICON_DIR}
    DEPENDS tw_make_icons
    COMMENT "Drawing the program icons")
# The generated icons sit next to the qrc that names them.
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/tw_icons.qrc ${CMAKE_CURRENT_BINARY_DIR}/tw_icons.qrc COPYONLY)
qt_add_resources(TW_ICON_RCC ${CMAKE_CURRENT_BINARY_DIR}/tw_icons.qrc)
add_library(tw_resources OBJECT ${TW_ICON_RCC})
target_link_libraries(tw_resources PRIVATE Qt6::Core)

# The licence text shown from the About box.
qt_add_resources(tw_resources "eula" PREFIX "/" BASE ${CMAKE_CURRENT_SOURCE_DIR}
    FILES ${CMAKE_CURRENT_SOURCE_DIR}/EULA.txt)
