# parvola_library(NAME FOLDER DEPS ...): one static library per subsystem folder.
# Sources are the folder's own .cpp files (not its subfolders), so a new file
# joins its subsystem without touching the build.
function(parvola_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# parvola_tests(PREFIX DEPS ...): the tests of one folder. Files named *_test.cpp
# form PREFIX_unit (label `unit`, in-process); files named *_itest.cpp form
# PREFIX_integration (label `integration`, needs the real mail server fixture).
# New test files join without touching the build.
function(parvola_tests prefix)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB unit_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB integration_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_itest.cpp)
  foreach(kind unit integration)
    set(sources ${${kind}_sources})
    if(NOT sources)
      continue()
    endif()
    set(name ${prefix}_${kind})
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support GTest::gtest GTest::gmock
                                          GTest::gtest_main)
    set(props LABELS ${kind})
    if(kind STREQUAL "integration")
      list(APPEND props FIXTURES_REQUIRED mailserver)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  endforeach()
endfunction()
