# The tool that finds where each song begins in a recording of the sound output. Both the sync
# benchmark and the whole-program test use it, so it is built whether or not benchmarks are.
include_guard(GLOBAL)
add_executable(tunvero_heard_onsets
    ${CMAKE_CURRENT_LIST_DIR}/heard_onsets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OnsetFinder.cpp)
target_link_libraries(tunvero_heard_onsets PRIVATE tunvero_playback)
set_target_properties(tunvero_heard_onsets PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
