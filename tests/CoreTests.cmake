# The literal kernels and the core tests, with no Qt: built by tests/ and, for
# another processor, by the core-only build at the top (paths from this folder).
set(GRAYBENCH_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})

# Plain, literal versions of the kernels: the fast ones are compared against them.
file(GLOB REFERENCE_SOURCES CONFIGURE_DEPENDS ${GRAYBENCH_TESTS_DIR}/reference/*.cpp)
add_library(reference STATIC ${REFERENCE_SOURCES} ${GRAYBENCH_TESTS_DIR}/support/TestImages.cpp
            ${GRAYBENCH_TESTS_DIR}/support/SyntheticEdges.cpp)
target_include_directories(reference PUBLIC ${GRAYBENCH_TESTS_DIR}/reference
                           ${GRAYBENCH_TESTS_DIR}/support)
target_link_libraries(reference PUBLIC vision_core)

file(GLOB CORE_TESTS CONFIGURE_DEPENDS ${GRAYBENCH_TESTS_DIR}/*Test.cpp)
add_executable(core_tests ${CORE_TESTS} ${GRAYBENCH_TESTS_DIR}/support/SubpixelTrials.cpp)
target_link_libraries(core_tests PRIVATE reference vision_commands GTest::gtest_main)
target_compile_definitions(core_tests PRIVATE GRAYBENCH_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
