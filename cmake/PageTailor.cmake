# One static library per source folder, called from that folder's CMakeLists;
# its sources are the folder's .cpp/.h files except the programs' main_*.cpp.
function(pt_folder_library target)
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources EXCLUDE REGEX ".*/main_[^/]*\\.cpp$")
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARGN})
endfunction()

# One GoogleTest executable per source folder, with the shared test main.
# MODE is CORE (QCoreApplication) or GUI (QApplication on the offscreen platform).
function(pt_test_suite target folder mode)
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/tests/${folder}/*.h)
  add_executable(${target} ${sources} ${CMAKE_SOURCE_DIR}/tests/support/TestMain.cpp)
  target_link_libraries(${target} PRIVATE ${ARGN} pttestsupport GTest::gtest GTest::gmock)
  if(mode STREQUAL "GUI")
    target_compile_definitions(${target} PRIVATE PT_TEST_GUI=1)
    target_link_libraries(${target} PRIVATE Qt6::Widgets)
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
