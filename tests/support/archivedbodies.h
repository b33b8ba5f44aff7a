#pragma once

// The archived-body makers live in the sample library; tests keep their old names.
#include "sample/archivedbodies.h"

namespace quorlin::testing {
using quorlin::sample::keyedArchiveAttributedBody;
using quorlin::sample::linkPayloadData;
using quorlin::sample::typedStreamAttributedBody;
} // namespace quorlin::testing
