# Test helpers shared by every folder.
#
# tevalo_test(NAME SOURCES ... [LIBS ...] [SLOW] [NO_TSAN] [TIMEOUT s] [ENV K=V ...])
#   One GoogleTest executable, one ctest test labelled "quick" (or "slow": real-time tests that run in
#   the normal build only, so NO_TSAN on them changes nothing). NO_TSAN leaves it out of the
#   ThreadSanitizer build; the reason stands beside each. With TEVALO_TSAN_TRY_EXCLUDED on, that build makes them anyway, labelled
#   "tsan-excluded" instead of "quick", to check whether a reason still holds. Each test gets its own
#   runtime folder and object namespace, so tests run in parallel without meeting each other's named
#   objects.
#
# tevalo_fuzz(NAME SOURCES ... [LIBS ...] CORPUS dir)
#   A libFuzzer target. In the fuzz build it runs for TEVALO_FUZZ_SECONDS (label "fuzz"); in the other
#   builds the same entry point replays the seed corpus as a quick test.

find_package(GTest REQUIRED)
option(TEVALO_TSAN_TRY_EXCLUDED "Build the tests left out of the ThreadSanitizer build, labelled tsan-excluded" OFF)

# Debian's own Python first: tests use its packages (python3-pil, python3-pyftpdlib).
find_program(TEVALO_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT TEVALO_PYTHON3)
  find_program(TEVALO_PYTHON3 NAMES python3 REQUIRED)
endif()

set(TEVALO_SOURCE_ROOT ${CMAKE_SOURCE_DIR})
set(TEVALO_FIXTURES ${CMAKE_SOURCE_DIR}/tests/fixtures)

add_custom_target(tevalo_fuzzers)

function(_tevalo_test_env out name)
  set(env
    "QT_QPA_PLATFORM=offscreen"
    "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/run/${name}"
    "TEVALO_NAMESPACE=${name}"
    "TEVALO_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    "TEVALO_BINARY_DIR=${CMAKE_BINARY_DIR}"
    "TEVALO_FIXTURES=${TEVALO_FIXTURES}"
    "GST_PLUGIN_PATH=${TEVALO_PLUGIN_DIR}"
    "GST_REGISTRY=${CMAKE_BINARY_DIR}/run/${name}/gst-registry.bin"
    "TEVALO_AUDIO_SINK=fakesink"
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp")
  if(TEVALO_SANITIZE STREQUAL "thread")
    # GLib 2.74's slice allocator hands blocks between threads through its own magazines, which
    # TSan cannot see: every GStreamer query made on one streaming thread after another's looks
    # like a race in g_slice_alloc0. Plain malloc is intercepted.
    list(APPEND env "G_SLICE=always-malloc")
  endif()
  if(NOT TEVALO_SANITIZE STREQUAL "" OR TEVALO_FUZZ)
    list(APPEND env "GST_REGISTRY_FORK=no")
  endif()
  set(${out} ${env} PARENT_SCOPE)
endfunction()

# GLib's futex locks and pool hand-overs made visible to TSan (tests/tsan_glib_locks.cpp): the wrappers must be in the
# executable's dynamic symbols to stand before GLib's.
function(_tevalo_tsan_glib_locks name)
  target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/tsan_glib_locks.cpp)
  target_link_libraries(${name} PRIVATE ${CMAKE_DL_LIBS})
  target_link_options(${name} PRIVATE
    -Wl,--export-dynamic-symbol=g_mutex_lock,--export-dynamic-symbol=g_mutex_trylock
    -Wl,--export-dynamic-symbol=g_mutex_unlock,--export-dynamic-symbol=g_cond_wait
    -Wl,--export-dynamic-symbol=g_cond_wait_until,--export-dynamic-symbol=g_thread_pool_new
    -Wl,--export-dynamic-symbol=g_thread_pool_push)
endfunction()

function(tevalo_test name)
  cmake_parse_arguments(T "SLOW;NO_TSAN" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(TEVALO_FUZZ)
    return()
  endif()
  set(tsan_excluded FALSE)
  if(T_NO_TSAN AND TEVALO_SANITIZE STREQUAL "thread")
    if(NOT TEVALO_TSAN_TRY_EXCLUDED)
      return()
    endif()
    set(tsan_excluded TRUE)
  endif()
  if(T_SLOW AND NOT TEVALO_SANITIZE STREQUAL "")
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(TEVALO_SANITIZE STREQUAL "thread")
    _tevalo_tsan_glib_locks(${name})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/run/${name})
  _tevalo_test_env(env ${name})
  list(APPEND env ${T_ENV})
  if(T_SLOW)
    set(labels slow)
    set(timeout 900)
  else()
    set(labels quick)
    set(timeout 300)
  endif()
  if(T_TIMEOUT)
    set(timeout ${T_TIMEOUT})
  endif()
  if(tsan_excluded)
    set(labels tsan-excluded)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${timeout} ENVIRONMENT "${env}")
endfunction()

function(tevalo_fuzz name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT TEVALO_FUZZ AND TEVALO_SANITIZE STREQUAL "thread")
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  _tevalo_test_env(env ${name})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/run/${name})
  if(TEVALO_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(tevalo_fuzzers ${name})
    set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    file(MAKE_DIRECTORY ${work})
    add_test(NAME ${name}
      COMMAND ${name} -max_total_time=${TEVALO_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
              -print_final_stats=1 ${work} ${F_CORPUS})
    math(EXPR timeout "${TEVALO_FUZZ_SECONDS} + 120")
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT ${timeout} ENVIRONMENT "${env}")
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/fuzz_replay_main.cpp)
    add_test(NAME ${name} COMMAND ${name} ${F_CORPUS})
    set_tests_properties(${name} PROPERTIES LABELS quick TIMEOUT 300 ENVIRONMENT "${env}")
  endif()
endfunction()

# Adds every immediate sub-folder that has a CMakeLists.txt, in name order.
function(tevalo_add_subdirs)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(SORT children)
  foreach(child ${children})
    get_filename_component(dir ${child} DIRECTORY)
    add_subdirectory(${dir})
  endforeach()
endfunction()
