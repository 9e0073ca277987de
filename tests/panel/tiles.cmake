# The tile widgets' tests, with their own QApplication main.
pm_add_test(panel_tiles_tests
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TileWidgetsMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TileTesting.h
  ${CMAKE_CURRENT_LIST_DIR}/ItemTileTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FinishButtonTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ThumbnailLoaderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HoveredItemLabelTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PopoverTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/ScriptedUploader.h ${CMAKE_CURRENT_SOURCE_DIR}/support/ScriptedUploader.cpp
  LIBS pm_panel_tiles)
