// The window and its pictures made without it: velmora-cli's windowless picture against the view's
// own frame, and "File -> Export movie..." recorded from the view, finished and cancelled.
#include <QInputDialog>
#include <QProgressDialog>
#include <QTimer>
#include <cstdlib>

#include "GuiFixture.h"
#include "media/PngFile.h"

namespace {

/// Answers the next modal dialog of type Dialog with answer, polling until it is up.
template <typename Dialog>
void answerNextDialog(const std::function<void(Dialog&)>& answer) {
    auto* poll = new QTimer();
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<Dialog*>(widget); dialog && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                answer(*dialog);
                return;
            }
    });
    poll->start();
}

bool haveFfprobe() { return std::system("command -v ffprobe > /dev/null 2>&1") == 0; }

class PicturesWithoutWindowTest : public GuiFixture {
   protected:
    void startOnHeart() {
        start({QString::fromStdString(testfiles::sourceDir() + "/models/ModelB")});
        ASSERT_NE(manager().model(), nullptr);
    }
};

}  // namespace

TEST_F(PicturesWithoutWindowTest, TheWindowlessPictureEqualsTheViewsFrameWithinTwoLevels) {
    startOnHeart();
    const QImage view = m_view->grabFramebuffer().convertToFormat(QImage::Format_RGB888);
    const int w = view.width(), h = view.height();
    ASSERT_GT(w, 100);
    // The same heart, camera, size and switches, drawn by another program with no display at all.
    const testfiles::RunResult r =
        testfiles::runCommand("env -u DISPLAY '" + testfiles::binDir() + "/velmora-cli' render '" +
                                  testfiles::sourceDir() + "/models/ModelB' '" + m_dir.file("cli.png") + "' --size " +
                                  std::to_string(w) + "x" + std::to_string(h) + " --quiet",
                              m_dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    RgbImage picture;
    std::string error;
    ASSERT_TRUE(readPng(m_dir.file("cli.png"), picture, error)) << error;
    ASSERT_EQ(picture.width, w);
    ASSERT_EQ(picture.height, h);
    long long close = 0, heart = 0;
    for (int y = 0; y < h; ++y) {
        const uchar* row = view.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = picture.pixel(x, y);
            int worst = 0;
            for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(p[k] - row[x * 3 + k]));
            close += worst <= 2 ? 1 : 0;
            heart += p[0] > 60 ? 1 : 0;  // the background has no red
        }
    }
    EXPECT_GE(close * 100, 99LL * w * h) << close << " of " << w * h << " pixels within 2 levels";
    EXPECT_GT(heart * 20, 1LL * w * h) << "the heart is in the picture";
}

TEST_F(PicturesWithoutWindowTest, ExportMovieRecordsTheChosenTicksAtTheViewsSizeAndCancelLeavesNoFile) {
    if (!haveFfprobe()) GTEST_SKIP() << "ffprobe (package ffmpeg) is not installed";
    startOnHeart();
    const std::string path = m_dir.file("beat.mp4");
    m_dialogs.fileAnswers.push_back(m_dir.file("beat"));  // the extension is added
    answerNextDialog<QInputDialog>([](QInputDialog& dialog) {
        dialog.setIntValue(6);
        dialog.accept();
    });
    trigger(QStringLiteral("Export movie..."));
    ASSERT_TRUE(testfiles::exists(path)) << "no movie written";
    EXPECT_TRUE(m_dialogs.messages.empty()) << m_dialogs.messages.front();
    EXPECT_FALSE(manager().isTimerOn()) << "the beat was off before the recording and is off after it";
    const int w = static_cast<int>(m_view->width() * m_view->devicePixelRatio()) & ~1;
    const int h = static_cast<int>(m_view->height() * m_view->devicePixelRatio()) & ~1;
    const testfiles::RunResult probe = testfiles::runCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,nb_read_frames "
        "-of csv=p=0 '" +
            path + "'",
        m_dir.path());
    EXPECT_EQ(probe.out, "h264," + std::to_string(w) + "," + std::to_string(h) + ",6\n");

    // A long recording cancelled from its progress dialog: no file, nothing beside it, no message.
    m_dialogs.fileAnswers.push_back(m_dir.file("cancelled.gif"));
    bool cancelled = false;
    answerNextDialog<QInputDialog>([&cancelled](QInputDialog& dialog) {
        dialog.setIntValue(400);
        dialog.accept();
        answerNextDialog<QProgressDialog>([&cancelled](QProgressDialog& progress) {
            cancelled = progress.value() < 400;
            progress.cancel();
        });
    });
    trigger(QStringLiteral("Export movie..."));
    EXPECT_TRUE(cancelled) << "the recording was not under way when Cancel was pressed";
    EXPECT_FALSE(testfiles::exists(m_dir.file("cancelled.gif")));
    const testfiles::RunResult listing =
        testfiles::runCommand("ls -A '" + m_dir.path() + "' | grep -c cancelled", m_dir.path());
    EXPECT_EQ(listing.out, "0\n");
    EXPECT_TRUE(m_dialogs.messages.empty());
}
