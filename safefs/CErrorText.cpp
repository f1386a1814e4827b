#include "CErrorText.h"

#include <cerrno>
#include <cstring>

namespace kestrel::safefs {

QString ErrnoText(int nErrno) {
    switch (nErrno) {
        case EACCES:
        case EPERM:
            return QStringLiteral("アクセスが拒否されました。");
        case ENOENT:
            return QStringLiteral("指定されたファイルまたはフォルダが見つかりません。");
        case ENOSPC:
            return QStringLiteral("ディスクの空き領域が不足しています。");
        case EDQUOT:
            return QStringLiteral("ディスクの使用量の上限を超えました。");
        case EROFS:
            return QStringLiteral("読み取り専用のファイル システムです。");
        case ENAMETOOLONG:
            return QStringLiteral("ファイル名が長すぎます。");
        case EEXIST:
        case ENOTEMPTY:
            return QStringLiteral("同じ名前のファイルまたはフォルダが既にあります。");
        case ENOTDIR:
            return QStringLiteral("パスの途中にフォルダではないものがあります。");
        case ELOOP:
            return QStringLiteral("リンクをたどることはできません。");
        case EBUSY:
            return QStringLiteral("ファイルまたはフォルダが使用中です。");
        case ESTALE:  // also what the tree walk reports when a folder moves under it
            return QStringLiteral("処理中にファイルまたはフォルダが移動または削除されました。");
        case EIO:
            return QStringLiteral("入出力エラーが発生しました。");
        default:
            return QString::fromLocal8Bit(std::strerror(nErrno));
    }
}

QString ErrnoText(int nErrno, const QString& c_strPath) {
    return ErrnoText(nErrno) + QLatin1Char('\n') + c_strPath;
}

}  // namespace kestrel::safefs
