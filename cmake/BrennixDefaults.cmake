# One place for what every Brennix target gets: the language level, warnings
# as errors on our own code, and the sanitizers chosen for this build.
function(brennix_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
  endif()
  if(BRENNIX_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${BRENNIX_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=${BRENNIX_SANITIZE})
  endif()
endfunction()

# Clipper comes without a CMake package; its headers are treated as system
# headers so their warnings do not fail our build.
function(brennix_link_clipper target scope)
  target_link_libraries(${target} ${scope} PkgConfig::POLYCLIPPING)
endfunction()
