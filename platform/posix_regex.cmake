# The system's POSIX regular expressions, for differential tests and the
# regex benchmark only.
add_library(kivro_posix_regex STATIC ${KIVRO_BACKEND_POSIX_REGEX})
