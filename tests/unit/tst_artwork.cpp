// Artwork export: every file decodes at its size, the shapes land where they
// should at the smallest and largest sizes, and a folder that cannot be made
// fails with a reason.
#include "Art/Artwork.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

class TestArtwork : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exportWritesEveryPngAtItsSize()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("art/icons")); // does not exist yet
        QString error;
        QVERIFY2(Artwork::exportTo(folder, &error), qPrintable(error));

        QMap<QString, int> expected;
        for (int size : {16, 24, 32, 48, 64, 128, 256, 512})
            expected[QStringLiteral("vell-%1.png").arg(size)] = size;
        for (int size : {16, 22, 24, 32, 48}) {
            expected[QStringLiteral("vell-tray-light-%1.png").arg(size)] = size;
            expected[QStringLiteral("vell-tray-dark-%1.png").arg(size)] = size;
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), QStringList(expected.keys()));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QImageReader reader(QDir(folder).filePath(it.key()));
            QCOMPARE(reader.format(), QByteArray("png"));
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(it.key() + ": " + reader.errorString()));
            QCOMPARE(image.size(), QSize(it.value(), it.value()));
            QVERIFY(image.hasAlphaChannel());
        }
    }

    void shapesAtSmallAndLargeSizes_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("16") << 16;
        QTest::newRow("22") << 22;
        QTest::newRow("512") << 512;
    }
    void shapesAtSmallAndLargeSizes()
    {
        QFETCH(int, size);
        const int mid = size / 2;
        const int bubbleY = int(size * 0.43); // middle of the bubble, where the bars are

        const QImage icon = Artwork::appIconImage(size);
        QCOMPARE(icon.size(), QSize(size, size));
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0); // rounded corner
        const QColor tile(icon.pixel(mid, int(size * 0.9)));
        QVERIFY2(qAbs(tile.hue() - Artwork::accent().hue()) <= 6, qPrintable(tile.name()));
        const QColor bar(icon.pixel(mid, bubbleY));
        QVERIFY2(bar.red() > 150 && bar.green() < 140, qPrintable(bar.name())); // red bar in the white bubble

        for (bool dark : {false, true}) {
            const QImage mark = Artwork::trayMarkImage(size, dark);
            QCOMPARE(qAlpha(mark.pixel(mid, bubbleY)), 0); // the bar is cut out
            QCOMPARE(qAlpha(mark.pixel(size - 1, size - 1)), 0);
            const QColor body = QColor::fromRgba(mark.pixel(int(size * 0.12), bubbleY));
            QCOMPARE(body.alpha(), 255);
            QCOMPARE(body.lightness() > 128, dark); // light on dark trays, dark on light ones
        }
    }

    void unwritableFolderFailsWithAReason()
    {
        QTemporaryDir tmp;
        QFile blocker(tmp.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QString error;
        QVERIFY(!Artwork::exportTo(blocker.fileName() + QStringLiteral("/icons"), &error));
        QVERIFY2(error.startsWith(QStringLiteral("Could not create the folder ")), qPrintable(error));
        QVERIFY(error.contains(QStringLiteral("/file/icons")));
        QVERIFY(!Artwork::exportTo(blocker.fileName() + QStringLiteral("/icons"), nullptr));
    }
};

QTEST_GUILESS_MAIN(TestArtwork)
#include "tst_artwork.moc"
