// Arbitrary bytes as a picture, the way page images and stored bitmaps reach us: as a .bmp/.ico file
// (TGraphic::LoadFromBytes) and as the hexadecimal stored-bitmap form (HexToBitmap). Either must end
// in a picture, a null image or EReadError: never a crash, a hang or a giant allocation.
#include "engine/RLUtils.h"
#include "platform/Exceptions.h"
#include "platform/Graphics.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Image codecs want an application object; one for the whole run.
    static int argc = 1;
    static char name[] = "PictureFuzz";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* app = []() -> QCoreApplication* {
        if (QCoreApplication::instance())
            return QCoreApplication::instance(); // the replay driver's
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        if (auto graphic = TGraphic::LoadFromBytes(bytes)) {
            (void)graphic->Image();
            (void)graphic->SaveToBytes();
        }
    } catch (const EReadError&) { }
    (void)HexToBitmap(QString::fromLatin1(bytes));
    return 0;
}
