# Audio capture and recording: CPU per second of audio, start and stop latency. Runs under
# scripts/with-pulse.sh.
add_executable(pindle_bench_recorder RecorderBench.cpp)
target_link_libraries(pindle_bench_recorder PRIVATE
    pindle_models_services pindle_platform_audio pindle_test_support pindle_compile_settings)
