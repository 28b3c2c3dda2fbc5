#pragma once
// The connections the user opened last, newest first, kept between runs in a small text file
// under the user's configuration folder. Passwords are never written there: a remembered
// connection asks for its password again.

#include <QString>
#include <QStringList>

namespace kubrix::app {

class TRecentConnections {
public:
    //! Connections kept.
    static constexpr int MaxCount = 10;
    //! Longest line read back, in bytes; longer ones are skipped.
    static constexpr int MaxLineBytes = 4096;

    //! $XDG_CONFIG_HOME/kubrix/recent-connections, else ~/.config/kubrix/recent-connections.
    static QString DefaultPath();
    explicit TRecentConnections(QString path = DefaultPath());

    const QString& Path() const { return path_; }
    //! Newest first.
    const QStringList& Items() const { return items_; }
    //! Reads the file again. A missing or unreadable file gives no connections; blank, comment,
    //! overlong and non-UTF-8 lines are skipped.
    void Load();
    //! Puts a connection first (without its password), keeps MaxCount and rewrites the file whole
    //! (a new file renamed over the old one). False, with the reason in error, when it could not
    //! be written; the list in memory has the connection either way.
    bool Add(const QString& connection, QString* error = nullptr);
    //! The connection string with its PWD and PASSWORD attributes left out.
    static QString WithoutPassword(const QString& connection);

private:
    QString path_;
    QStringList items_;
};

}  // namespace kubrix::app
