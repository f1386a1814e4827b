#include "ReasonText.h"

#include <cstring>

#include "ErrnoText.h"
#include "Platform.h"
#include "common_archiver_api.h"

namespace shelf {

namespace {

std::wstring ErrnoText(int32_t nErrno) {
    const char* c_psz = kestrel::JapaneseErrnoText(nErrno);
    return ToWide(c_psz != nullptr ? c_psz : std::strerror(nErrno));
}

}  // namespace

std::wstring ReasonText(uint32_t nReason, int32_t nErrno) {
    switch (nReason) {
        case KESTREL_REASON_DAMAGED:
            return L"データが壊れています。";
        case KESTREL_REASON_ENCRYPTED:
            return L"暗号化されているため読み出せません。";
        case KESTREL_REASON_UNSUPPORTED:
            return L"対応していない圧縮方式です。";
        case KESTREL_REASON_REFUSED_NAME:
            return L"解凍先の外を指す名前や改行を含む名前、デバイス・パイプ・ハードリンクは解凍しま"
                   L"せん。";
        case KESTREL_REASON_LINK_OUTSIDE:
            return L"解凍先の外を指すリンク、またはリンクの先に置かれる項目のため解凍しません。";
        case KESTREL_REASON_NAME_TOO_LONG:
            return L"名前が長すぎるため作れません。";
        case KESTREL_REASON_NOT_FOUND:
            return L"書庫の中にありません。";
        case KESTREL_REASON_NO_SPACE:
            return nErrno != 0 ? ErrnoText(nErrno) : L"ディスクの空き領域が不足しています。";
        case KESTREL_REASON_IN_THE_WAY:
            return L"同じ名前のファイルまたはフォルダがあるため作れません。";
        case KESTREL_REASON_ARCHIVE_DAMAGED:
            return L"書庫が途中で壊れているため読めません。";
        case KESTREL_REASON_CANCELLED:
            return L"中止したため、書きかけのファイルを削除しました。";
        case KESTREL_REASON_WRITE_ERROR:
        default:
            return nErrno != 0 ? L"書き込めません: " + ErrnoText(nErrno) : L"書き込めません。";
    }
}

std::wstring OpenFailureText(uint32_t nReason) {
    switch (nReason) {
        case KESTREL_REASON_NOT_FOUND:
            return L"ファイルが見つかりません";
        case KESTREL_REASON_ENCRYPTED:
            return L"この 7z 書庫は暗号化されているため開けません";
        case KESTREL_REASON_DAMAGED:
            return L"書庫が壊れています";
        case KESTREL_REASON_UNSUPPORTED:
        default:
            return L"書庫として読むことができません";
    }
}

}  // namespace shelf
