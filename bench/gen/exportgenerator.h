#pragma once

#include "model/chat.h"

#include <QString>

namespace quorlin::bench {

// What a generated export conversation holds.
struct ExportConversationShape {
    int messages = 20000;
    int pictures = 500; // messages with one picture, HEIC ones included
    int heicPictures = 50;
    int videos = 20;
};

// Builds a large conversation whose attachments point at real picture and video files. The media
// files are made once into the given folder (a few distinct files, reused by many attachments).
class ExportGenerator {
public:
    explicit ExportGenerator(QString mediaFolder);

    // Makes the JPEG, HEIC and video files if they are not there yet; false when one could not be made.
    bool prepareMedia();
    [[nodiscard]] Chat conversation(const ExportConversationShape &shape = {}) const;

private:
    QString m_folder;
    QStringList m_jpegs;
    QStringList m_heics;
    QStringList m_videos;
};

} // namespace quorlin::bench
