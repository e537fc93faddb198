# Helpers shared by every subsystem's CMakeLists.txt.

# kivro_add_test(NAME SOURCES src... [LIBS lib...] [LABELS label...] [TIMEOUT s])
# One GoogleTest binary = one CTest test. Tests that start real servers carry
# the label "integration".
function(kivro_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  # With BUILD_TESTING off (the fuzz build) the test still exists for the
  # rules that name it, but is built only on request.
  if(BUILD_TESTING)
    add_executable(${name} ${T_SOURCES})
  else()
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "KIVRO_SOURCE_DIR=${CMAKE_SOURCE_DIR};KIVRO_BUILD_DIR=${CMAKE_BINARY_DIR}"
    LABELS "${T_LABELS}")
  if(T_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# kivro_add_fuzzer(NAME SOURCES src... [LIBS lib...]) — built only with KIVRO_FUZZ=ON.
function(kivro_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(KIVRO_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
  endif()
endfunction()

# kivro_add_bench(NAME SOURCES src... [LIBS lib...]) — benchmarks print their
# own figures; `make bench` runs them. They are never CTest tests.
function(kivro_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  if(KIVRO_BENCH)
    add_executable(${name} ${B_SOURCES})
    target_link_libraries(${name} PRIVATE ${B_LIBS} Threads::Threads)
    set_property(GLOBAL APPEND PROPERTY KIVRO_BENCHES ${name})
  endif()
endfunction()

# kivro_host_program(VAR TARGET): sets VAR to how a command of the host's
# shell starts TARGET's program: its file on a native build; on a Windows
# build run under Wine, a generated script in <build>/host/ that runs it
# with the test emulator, so tests can start the Windows tools from shell
# commands as they do on Linux.
function(kivro_host_program var target)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(script ${CMAKE_BINARY_DIR}/host/${target})
    set(${var} ${script} PARENT_SCOPE)
    get_property(made GLOBAL PROPERTY KIVRO_HOST_PROGRAMS)
    if(target IN_LIST made)
      return()  # one script per program, whoever asks
    endif()
    set_property(GLOBAL APPEND PROPERTY KIVRO_HOST_PROGRAMS ${target})
    list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 runner)
    list(GET CMAKE_CROSSCOMPILING_EMULATOR 1 prefix)
    file(GENERATE OUTPUT ${script}
      CONTENT "#!/bin/sh\nexec '${runner}' '${prefix}' '$<TARGET_FILE:${target}>' \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    set(${var} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()
