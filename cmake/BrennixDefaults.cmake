# One place for what every Brennix target gets: the language level, warnings
# as errors on our own code, and the sanitizers chosen for this build.
function(brennix_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  # As strict as our code passes cleanly on both compilers. Left out on
  # purpose: -Wdouble-promotion (single precision is deliberate where the
  # readers use it), -Wuseless-cast (casts between fixed-width typedefs differ
  # per platform) and -Wnull-dereference (false alarms inside libstdc++).
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
      -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough
      -Wextra-semi -Wmissing-declarations -Wredundant-decls -Werror)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wduplicated-cond -Wduplicated-branches -Wlogical-op)
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
