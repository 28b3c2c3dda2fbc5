#include "RecentConnections.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace kubrix::app {
namespace {

constexpr const char* kHeader = "# kubrix: recent connections, newest first";
constexpr qint64 kMaxFileBytes = 64 * 1024;

}  // namespace

QString TRecentConnections::DefaultPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // A relative value is to be ignored, as for every XDG variable.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + "/.config";
    return base + "/kubrix/recent-connections";
}

TRecentConnections::TRecentConnections(QString path) : path_(std::move(path)) { Load(); }

void TRecentConnections::Load() {
    items_.clear();
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return;
    // Only the head of an oversized file is read; its last line may be cut and is dropped.
    const QByteArray bytes = file.read(kMaxFileBytes);
    QList<QByteArray> lines = bytes.split('\n');
    if (bytes.size() == kMaxFileBytes && !lines.isEmpty()) lines.removeLast();
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (line.isEmpty() || line.startsWith('#') || line.size() > MaxLineBytes) continue;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(line);
        if (utf8.hasError() || items_.contains(text)) continue;
        items_.append(text);
        if (items_.size() == MaxCount) break;
    }
}

bool TRecentConnections::Add(const QString& connection, QString* error) {
    QString kept = WithoutPassword(connection).trimmed();
    // "A=1;" and "A=1" are the same connection.
    while (kept.endsWith(';')) kept.chop(1);
    // A line break would split the entry; an overlong one would not be read back.
    if (kept.isEmpty() || kept.contains('\n') || kept.contains('\r') || kept.toUtf8().size() > MaxLineBytes)
        return true;
    items_.removeAll(kept);
    items_.prepend(kept);
    while (items_.size() > MaxCount) items_.removeLast();

    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    QByteArray text = QByteArray(kHeader) + "\n";
    for (const QString& item : items_) text += item.toUtf8() + "\n";
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                    file.write(text) == text.size() && file.commit();
    if (!ok && error) *error = file.errorString();
    return ok;
}

QString TRecentConnections::WithoutPassword(const QString& connection) {
    // Attributes are KEY=VALUE separated by ';'; a value in braces may hold ';' and '}}'.
    QString out;
    int at = 0;
    const int n = static_cast<int>(connection.size());
    while (at < n) {
        const int start = at;
        const int semi = connection.indexOf(';', at);
        int eq = connection.indexOf('=', at);
        if (semi >= 0 && eq > semi) eq = -1;  // this attribute has no value
        int end = semi < 0 ? n : semi;
        if (eq >= 0) {
            int v = eq + 1;
            while (v < n && connection[v] == ' ') ++v;
            if (v < n && connection[v] == '{') {
                // The value runs to the brace that is not doubled.
                for (++v; v < n; ++v) {
                    if (connection[v] != '}') continue;
                    if (v + 1 < n && connection[v + 1] == '}') {
                        ++v;
                        continue;
                    }
                    ++v;
                    break;
                }
                end = connection.indexOf(';', v);
                if (end < 0) end = n;
            }
        }
        const QString key = eq < 0 ? QString() : connection.mid(start, eq - start).trimmed();
        at = end < n ? end + 1 : n;
        if (key.compare("PWD", Qt::CaseInsensitive) == 0 || key.compare("PASSWORD", Qt::CaseInsensitive) == 0)
            continue;
        out += connection.mid(start, at - start);
    }
    return out;
}

}  // namespace kubrix::app
