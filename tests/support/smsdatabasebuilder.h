#pragma once

// The Messages database builder lives in the sample library; tests keep their old names.
#include "sample/smsdatabasebuilder.h"

namespace quorlin::testing {
using quorlin::sample::AttachmentRow;
using quorlin::sample::ChatRow;
using quorlin::sample::MessageRow;
using quorlin::sample::SmsDatabaseBuilder;
} // namespace quorlin::testing
