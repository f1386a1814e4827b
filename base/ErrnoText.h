// The Japanese texts of the system errors a user meets when files are written, moved or
// deleted: the one table that kestrel-cli, the engine's reasons and the window all show.
#pragma once

#include <cerrno>

namespace kestrel {

// UTF-8; null for an error number without a text of its own (the caller then shows the
// system's text).
inline const char* JapaneseErrnoText(int nErrno) {
    switch (nErrno) {
        case EACCES:
        case EPERM:
            return "アクセスが拒否されました。";
        case ENOENT:
            return "指定されたファイルまたはフォルダが見つかりません。";
        case ENOSPC:
            return "ディスクの空き領域が不足しています。";
        case EDQUOT:
            return "ディスクの使用量の上限を超えました。";
        case EFBIG:
            return "ファイルが大きすぎて書き込めません。";
        case EROFS:
            return "読み取り専用のファイル システムです。";
        case ENAMETOOLONG:
            return "ファイル名が長すぎます。";
        case EEXIST:
        case ENOTEMPTY:
            return "同じ名前のファイルまたはフォルダが既にあります。";
        case ENOTDIR:
            return "パスの途中にフォルダではないものがあります。";
        case EISDIR:
            return "同じ名前のフォルダがあります。";
        case ELOOP:
            return "リンクをたどることはできません。";
        case EBUSY:
            return "ファイルまたはフォルダが使用中です。";
        case ESTALE:  // also what the tree walk reports when a folder moves under it
            return "処理中にファイルまたはフォルダが移動または削除されました。";
        case EIO:
            return "入出力エラーが発生しました。";
        default:
            return nullptr;
    }
}

}  // namespace kestrel
