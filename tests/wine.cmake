# Wine for the plug-in's tests: private prefixes inside the build tree, made
# once by a fixture test, and no Wine server left running afterwards.

find_program(VELMOR_WINE NAMES wine)
find_program(VELMOR_WINESERVER NAMES wineserver)

# Sets `var` in the caller's scope to the environment of Wine programs run
# in the prefix build-dir/`prefix`: quiet, and with no runtime installers at
# the prefix's creation.
function(velmor_wine_environment var prefix)
  set(${var} WINEPREFIX=${CMAKE_BINARY_DIR}/${prefix} WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml= PARENT_SCOPE)
endfunction()

# The fixture "wine" (tests setupTest and cleanupTest) for the prefix
# build-dir/`prefix`; sets wine_env, the tests' environment, in the caller's scope.
function(velmor_wine_fixture setupTest cleanupTest prefix)
  if(NOT VELMOR_WINE)
    message(FATAL_ERROR "the plug-in's tests need wine (apt-get install wine wine32:i386 wine64)")
  endif()
  velmor_wine_environment(env ${prefix})
  set(wine_env "${env}" PARENT_SCOPE)
  add_test(NAME ${setupTest}
    COMMAND ${CMAKE_COMMAND} -DWINE=${VELMOR_WINE} -DWINESERVER=${VELMOR_WINESERVER}
            -P ${CMAKE_CURRENT_LIST_DIR}/win_prefix.cmake)
  set_tests_properties(${setupTest} PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${env}" TIMEOUT 600)
  if(VELMOR_WINESERVER)
    add_test(NAME ${cleanupTest} COMMAND ${VELMOR_WINESERVER} --wait)
    set_tests_properties(${cleanupTest} PROPERTIES
      FIXTURES_CLEANUP wine ENVIRONMENT "${env}" TIMEOUT 60)
  endif()
endfunction()
