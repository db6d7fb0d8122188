# The movie clip writer shared by the video tests and the movie benchmark.
include_guard(GLOBAL)
find_package(PkgConfig REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Gui)
pkg_check_modules(CLIP_AV REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
add_library(quillon_test_clip STATIC ${CMAKE_CURRENT_LIST_DIR}/test_clip.cpp)
target_include_directories(quillon_test_clip PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(quillon_test_clip PUBLIC Qt6::Gui PRIVATE PkgConfig::CLIP_AV quillon_options)

# Video files decoded back, for the export tests.
add_library(quillon_test_decoded_video STATIC ${CMAKE_CURRENT_LIST_DIR}/decoded_video.cpp)
target_include_directories(quillon_test_decoded_video PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(quillon_test_decoded_video PUBLIC Qt6::Gui PRIVATE PkgConfig::CLIP_AV quillon_options)
