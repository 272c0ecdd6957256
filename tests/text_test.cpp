#include <gtest/gtest.h>

#include "platform/text.h"
