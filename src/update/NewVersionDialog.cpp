#include "update/NewVersionDialog.h"

#include "platform/Platform.h"
#include "update/NewVersionCheck.h"
#include "update/Website.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>

namespace quorlane {

int DownloadPercent(qint64 Bytes, qint64 ContentLength, QByteArrayView TransferEncoding)
{
    if (QByteArray(TransferEncoding.data(), TransferEncoding.size()).toLower().contains("chunked"))
        return -1;
    if (ContentLength <= 0 || Bytes < 0)
        return -1;
    return static_cast<int>(std::min<qint64>(Bytes, ContentLength) * 100 / ContentLength);
}

QString MakeInstallerPath(QString* Error)
{
    QTemporaryDir Folder(QDir::tempPath() + QStringLiteral("/quorlane-update-XXXXXX"));
    if (!Folder.isValid()) {
        if (Error)
            *Error = QStringLiteral("Cannot create a folder for the download: %1").arg(Folder.errorString());
        return {};
    }
    // The installer must outlive the program, which ends so that it can be replaced.
    Folder.setAutoRemove(false);
    return Folder.filePath(QLatin1String(InstallerFileName));
}

}   // namespace quorlane

using namespace quorlane;

namespace {

constexpr int ClientWidth = 420;
constexpr int ClientHeight = 189;

const QString CancelledText = QStringLiteral("Download is cancelled. Please download manually.");

}   // namespace

TfrmNewVersion::TfrmNewVersion(TPlatform& APlatform, const TUpdateSource& Source, QWidget* Parent)
    : QDialog(Parent)
    , Platform(APlatform)
    , FSource(Source)
{
    setObjectName(QStringLiteral("frmNewVersion"));
    setFixedSize(ClientWidth, ClientHeight);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowIcon(QIcon(QStringLiteral(":/icons/update-icon.svg")));

    VirtualImage1 = new QLabel(this);
    VirtualImage1->setObjectName(QStringLiteral("VirtualImage1"));
    VirtualImage1->setGeometry(8, 8, 70, 75);
    VirtualImage1->setPixmap(QIcon(QStringLiteral(":/icons/update-icon.svg")).pixmap(QSize(70, 75)));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(86, 8, 327, 115);
    Label1->setTextFormat(Qt::PlainText);   // the website's text is shown, never interpreted
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(5, 128, 409, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(false);

    btUpdateNow = new QPushButton(this);
    btUpdateNow->setObjectName(QStringLiteral("btUpdateNow"));
    btUpdateNow->setGeometry(ClientWidth - 2 * 100 - 2 * 8, ClientHeight - 8 - 28, 100, 28);
    btUpdateNow->setDefault(true);

    btCancel = new QPushButton(this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btCancel->setGeometry(ClientWidth - 100 - 8, ClientHeight - 8 - 28, 100, 28);
    btCancel->setAutoDefault(false);

    connect(btUpdateNow, &QPushButton::clicked, this, &TfrmNewVersion::btUpdateNowClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmNewVersion::btCancelClick);
}

TfrmNewVersion::~TfrmNewVersion() = default;

void TfrmNewVersion::showEvent(QShowEvent* Event)
{
    FormShow();
    if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
        QRect Frame = frameGeometry();
        Frame.moveCenter(Screen->availableGeometry().center());
        move(Frame.topLeft());
    }
    QDialog::showEvent(Event);
}

void TfrmNewVersion::FormShow()
{
    Tag = 1;
    setWindowTitle(QStringLiteral(" ") + QCoreApplication::applicationName());
    btUpdateNow->setText(QStringLiteral("Update Now"));
    btCancel->setText(UpdateMandatory ? QStringLiteral("Exit") : QStringLiteral("Skip"));
    Label1->setText(NewVersionMessage);
}

void TfrmNewVersion::FormClose()
{
    if (UpdateMandatory)
        Tag = 0;
}

void TfrmNewVersion::done(int Result)
{
    // While the installer arrives, closing the window means stopping the download; the dialog
    // closes by itself once the download has ended.
    if (FDownloading) {
        btCancelClick();
        return;
    }
    FormClose();
    QDialog::done(Result);
}

void TfrmNewVersion::btCancelClick()
{
    if (FDownloading) {
        DownloadCancelled = true;
        // At once, not at the next piece of data: a stalled transfer may never send one. Before
        // the request has gone out, the flag alone stops it.
        if (FDownload)
            FDownload->Cancel(CancelledText);
        return;
    }
    close();
}

void TfrmNewVersion::btUpdateNowClick()
{
    if (FDownloading)
        return;
    UpdateMandatory = true;   // from here on, closing ends the program whatever the download does
    const QString Failure = Download();
    if (!Failure.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Error,
                             QStringLiteral("Failed to download update. Please download manually on website.\r\n\r\n")
                                 + Failure);
        Platform.OpenUrl(FSource.Base);
    }
    close();
}

QString TfrmNewVersion::Download()
{
    FDownloading = true;
    const auto Ended = qScopeGuard([this] { FDownloading = false; });
    DownloadCancelled = false;
    btCancel->setText(QStringLiteral("Abort"));
    btUpdateNow->setEnabled(false);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    ProgressBar1->repaint();
    QCoreApplication::processEvents();
    if (DownloadCancelled)
        return CancelledText;

    QString Failure;
    FTargetPath = MakeInstallerPath(&Failure);
    if (FTargetPath.isEmpty())
        return Failure;
    QFile Target(FTargetPath);
    if (!Target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("Cannot create %1: %2").arg(QDir::toNativeSeparators(FTargetPath), Target.errorString());

    {
        QNetworkAccessManager Net;
        TWebsiteGet Get(Net, FSource, InstallerPath, FSource.DownloadTimeoutMs, 0);
        QNetworkReply* Reply = Get.Reply();
        connect(Reply, &QNetworkReply::readyRead, &Get, [&] {
            // Only a successful answer's body is the installer.
            const int Status = Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (Status < 200 || Status > 299)
                return;
            const QByteArray Piece = Reply->readAll();
            if (Target.write(Piece) != Piece.size())
                Get.Cancel(QStringLiteral("Cannot write %1: %2")
                               .arg(QDir::toNativeSeparators(FTargetPath), Target.errorString()));
        });
        connect(Reply, &QNetworkReply::downloadProgress, this, [this](qint64 Bytes, qint64) { DownloadWork(Bytes); });
        FDownload = &Get;
        Get.Wait();
        FDownload = nullptr;
        if (Get.Succeeded() && Reply->bytesAvailable() > 0)
            Target.write(Reply->readAll());
        Target.close();
        if (!Get.Succeeded())
            return Get.FailureText();
        if (Target.error() != QFileDevice::NoError)
            return QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(FTargetPath), Target.errorString());
    }

    if (!QFile::exists(FTargetPath))
        return QStringLiteral("Cannot find downloaded file.");
    Platform.OpenFile(FTargetPath);
    return {};
}

void TfrmNewVersion::DownloadWork(qint64 BytesSoFar)
{
    if (!FDownload)
        return;
    if (DownloadCancelled) {
        FDownload->Cancel(CancelledText);
        return;
    }
    const QNetworkReply* Reply = FDownload->Reply();
    const int Percent = DownloadPercent(BytesSoFar, Reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(),
                                        Reply->rawHeader("Transfer-Encoding"));
    if (Percent >= 0) {
        ProgressBar1->setValue(Percent);
        ProgressBar1->repaint();
    }
}

TUpdateOutcome ShowNewVersionDialog()
{
    return ShowNewVersionDialog(RealPlatform(), DefaultUpdateSource());
}

TUpdateOutcome ShowNewVersionDialog(TPlatform& Platform, const TUpdateSource& Source)
{
    TfrmNewVersion Dialog(Platform, Source);
    Dialog.exec();
    return Dialog.Tag == 0 ? TUpdateOutcome::EndProgram : TUpdateOutcome::Continue;
}
