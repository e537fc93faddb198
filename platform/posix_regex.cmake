# The system's POSIX regular expressions, for differential tests and the
# regex benchmark only.
add_library(kivro_posix_regex STATIC posix/posix_regex.cpp)
