// The embedded image set: ":/kestrel/" followed by the image's file name.
#pragma once

#include <QString>

namespace kestrel {

// Resource path of an embedded image, for example ":/kestrel/File_Generic.png".
QString EmbeddedImagePath(const QString& c_strFileName);

}  // namespace kestrel
