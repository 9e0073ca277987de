# The bucket bar's tile and what it is made of: the item tile, its thumbnails, badge, remove button and
# popovers, the hovered-item label and the finish button. Widgets over the upload engine.
find_package(Qt6 6.4 REQUIRED COMPONENTS Gui Widgets DBus)

set(PM_TILES_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(pm_panel_tiles STATIC
  ${PM_TILES_DIR}/DesktopFileViewer.h ${PM_TILES_DIR}/DesktopFileViewer.cpp
  ${PM_TILES_DIR}/EasedValue.h ${PM_TILES_DIR}/EasedValue.cpp
  ${PM_TILES_DIR}/FileViewer.h
  ${PM_TILES_DIR}/FinishButton.h ${PM_TILES_DIR}/FinishButton.cpp
  ${PM_TILES_DIR}/HoveredItem.h
  ${PM_TILES_DIR}/HoveredItemLabel.h ${PM_TILES_DIR}/HoveredItemLabel.cpp
  ${PM_TILES_DIR}/HoveredItemOverlay.h ${PM_TILES_DIR}/HoveredItemOverlay.cpp
  ${PM_TILES_DIR}/ItemThumbnail.h ${PM_TILES_DIR}/ItemThumbnail.cpp
  ${PM_TILES_DIR}/ItemTile.h ${PM_TILES_DIR}/ItemTile.cpp
  ${PM_TILES_DIR}/LoadedThumbnail.h
  ${PM_TILES_DIR}/PopoverStyle.h ${PM_TILES_DIR}/PopoverStyle.cpp
  ${PM_TILES_DIR}/PopoverWindow.h ${PM_TILES_DIR}/PopoverWindow.cpp
  ${PM_TILES_DIR}/SensitiveFilePopover.h ${PM_TILES_DIR}/SensitiveFilePopover.cpp
  ${PM_TILES_DIR}/SoftShadow.h ${PM_TILES_DIR}/SoftShadow.cpp
  ${PM_TILES_DIR}/ThumbnailLoader.h ${PM_TILES_DIR}/ThumbnailLoader.cpp
  ${PM_TILES_DIR}/TileBadgeButton.h ${PM_TILES_DIR}/TileBadgeButton.cpp
  ${PM_TILES_DIR}/TileRemoveButton.h ${PM_TILES_DIR}/TileRemoveButton.cpp
  ${PM_TILES_DIR}/TileSelection.h ${PM_TILES_DIR}/TileSelection.cpp
  ${PM_TILES_DIR}/TileStatus.h ${PM_TILES_DIR}/TileStatus.cpp
  ${PM_TILES_DIR}/UploadErrorPopover.h ${PM_TILES_DIR}/UploadErrorPopover.cpp)
target_include_directories(pm_panel_tiles PUBLIC ${PM_TILES_DIR}/..)
target_link_libraries(pm_panel_tiles PUBLIC pm_options pm_upload Qt6::Gui Qt6::Widgets Qt6::DBus)
