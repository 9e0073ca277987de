#pragma once

#include <QCoroTask>
#include <gtest/gtest.h>

#include "core/UploadError.h"
#include "support/TestSupport.h"

namespace pm::test {

// The UploadError a task ends with (a test failure when it succeeds).
template <typename T>
UploadError failureOf(QCoro::Task<T> task) {
  try {
    wait(std::move(task));
  } catch (const UploadError& error) {
    return error;
  }
  ADD_FAILURE() << "the operation succeeded";
  return UploadError::notImplemented();
}

}  // namespace pm::test
