#pragma once

#include <QEventLoop>

#include <QCoroTask>

#include <exception>

namespace pm::bench {

// Runs a task on the event loop to its end; an escaped exception is rethrown and ends the benchmark run.
template <typename T>
void runToEnd(QCoro::Task<T> task) {
  QEventLoop loop;
  std::exception_ptr failure;
  bool done = false;
  auto run = [](QCoro::Task<T> running, std::exception_ptr& error, bool& finished,
                QEventLoop& owner) -> QCoro::Task<> {
    try {
      co_await running;
    } catch (...) {
      error = std::current_exception();
    }
    finished = true;
    owner.quit();
  };
  run(std::move(task), failure, done, loop);
  if (!done) loop.exec();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace pm::bench
