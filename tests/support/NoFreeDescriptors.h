#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace qndis::test {

// Runs `body` while the process can open no further descriptor, so no event
// (an eventfd) can be made inside it.
template <typename Body> void WithoutFreeDescriptors(Body body) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    body();
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

} // namespace qndis::test
