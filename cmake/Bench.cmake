# Benchmarks (Google Benchmark): one program built from every bench/*.cpp.
# Not part of `make test`; `make bench` builds and runs it.
find_package(benchmark REQUIRED)
file(GLOB PM_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
add_executable(portmedic_bench ${PM_BENCH_SOURCES})
target_link_libraries(portmedic_bench PRIVATE pm_repair pm_globals pm_registry_faults pm_regfile
                      pm_text benchmark::benchmark_main)
