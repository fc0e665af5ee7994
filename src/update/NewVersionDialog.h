#pragma once

#include "update/WebsiteGet.h"

#include <QByteArrayView>
#include <QDialog>
#include <QFile>
#include <QString>

class QLabel;
class QNetworkAccessManager;
class QProgressBar;
class QPushButton;
class TPlatform;

namespace quorlane {

// The progress bar's position for Bytes of a download: Bytes x 100 / ContentLength, or -1
// (nothing shown) when the answer is chunked or its size is unknown.
[[nodiscard]] int DownloadPercent(qint64 Bytes, qint64 ContentLength, QByteArrayView TransferEncoding);

// Where the installer goes: a private folder of the program's own (mode 0700) in the temporary
// folder, so no other local user can plant a file or link under the name. Empty on failure.
[[nodiscard]] QString MakeInstallerPath(QString* Error);

}   // namespace quorlane

// The update dialog: the check's message, "Update Now" and "Skip" (optional update) or "Exit"
// (mandatory). Tag holds the outcome: 1 goes on to the main window, 0 ends the program.
class TfrmNewVersion : public QDialog
{
    Q_OBJECT
public:
    TfrmNewVersion(TPlatform& Platform, const quorlane::TUpdateSource& Source, QWidget* Parent = nullptr);
    ~TfrmNewVersion() override;

    int Tag = 1;

    QLabel* VirtualImage1 = nullptr;
    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* btUpdateNow = nullptr;
    QPushButton* btCancel = nullptr;

    void FormShow();
    void FormClose();
    void btUpdateNowClick();
    void btCancelClick();
    void DownloadWork(qint64 BytesSoFar);

    // The installer's path once a download has begun (for tests and the failure report).
    [[nodiscard]] QString TargetPath() const { return FTargetPath; }

protected:
    void showEvent(QShowEvent* Event) override;
    void done(int Result) override;   // every way of closing passes here

private:
    [[nodiscard]] QString Download();   // the failure text, empty on success

    TPlatform& Platform;
    quorlane::TUpdateSource FSource;
    bool FDownloading = false;                    // from Update Now until the download has ended
    quorlane::TWebsiteGet* FDownload = nullptr;   // while the request runs
    QString FTargetPath;
};
