# Run by CPack before it builds the package: a package always carries the
# man page, which the build makes with help2man only where it is installed.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*/velmor.1.gz")
if(NOT pages)
  message(FATAL_ERROR "the package would have no man page: install help2man "
                      "(bash tools/install-packages.sh package), configure again and rebuild")
endif()
