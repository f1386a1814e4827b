#include "KestrelResources.h"

namespace kestrel {

QString EmbeddedImagePath(const QString& c_strFileName) {
    return QStringLiteral(":/kestrel/") + c_strFileName;
}

}  // namespace kestrel
