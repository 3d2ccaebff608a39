# Refresh worker: a driver that runs the worker beside its executable for a
# given time (for syscall and memory measurements of idle passes).
if(NOT CMAKE_CROSSCOMPILING)
  add_executable(WorkerDriver ${CMAKE_CURRENT_LIST_DIR}/worker-driver/WorkerDriver.cpp)
  target_link_libraries(WorkerDriver PRIVATE vlmcore)
endif()
