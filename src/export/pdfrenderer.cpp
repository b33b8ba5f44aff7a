#include "export/pdfrenderer.h"

namespace quorlin {

// Stand-in until the renderer lands: an empty document.
QByteArray renderPDF(const Chat &, const ExportOptions &)
{
    return {};
}

} // namespace quorlin
