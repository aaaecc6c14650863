#pragma once
// What the tests know about the sample camera file (VORNALIX_TEST_CR2).

#include "vornalix.h"

#include <gtest/gtest.h>

namespace fixtures {

// Expects its camera metadata: make, model, exposure, aperture, ISO, focal
// length and date.
inline void expect_sample_cr2_metadata(const VornalixExif& e) {
    EXPECT_STREQ(e.make, "Canon");
    EXPECT_STREQ(e.model, "Canon EOS 30D");
    EXPECT_FLOAT_EQ(e.exposure_time, 1.0f / 400.0f);
    EXPECT_FLOAT_EQ(e.aperture, 22.0f);
    EXPECT_EQ(e.iso, 640);
    EXPECT_FLOAT_EQ(e.focal_length, 22.0f);
    EXPECT_STREQ(e.datetime, "2009:07:21 13:03:20");
}

}  // namespace fixtures
