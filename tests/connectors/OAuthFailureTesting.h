#pragma once

#include <gtest/gtest.h>
#include <QCoroTask>

#include "connectors/OAuthFailure.h"
#include "support/TestSupport.h"

namespace pm::test {

// The OAuthFailure a sign-in task ends with (a test failure when it ends any other way).
template <typename T>
OAuthFailure oauthFailureOf(QCoro::Task<T> task) {
  try {
    wait(std::move(task));
  } catch (const OAuthFailure& failure) {
    return failure;
  }
  ADD_FAILURE() << "the sign-in did not fail with an OAuthFailure";
  return OAuthFailure::badResponse();
}

}  // namespace pm::test
