# The system's POSIX regular expressions, for differential tests and the
# regex benchmark only.
if(NOT KIVRO_HAVE_POSIX_REGEX)
  return()
endif()
add_library(kivro_posix_regex STATIC ${KIVRO_BACKEND_POSIX_REGEX})
