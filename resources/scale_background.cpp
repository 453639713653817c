// Scales the drawn background (770 x 523, from make_background.py) to the size the
// main window shows it at (752 x 447 at 96 dpi), with the smooth transformation the
// window's picture label would apply at every start-up, and writes the raw pixels
// the application loads. Run once by hand after make_background.py:
//
//   g++ -O2 -fPIC scale_background.cpp -o /tmp/scale_background $(pkg-config --cflags --libs Qt6Gui)
//   /tmp/scale_background drawn.rgb images/background.rgb
//
// where drawn.rgb is the 770 x 523 file make_background.py writes.
#include <QFile>
#include <QImage>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    QFile in(QString::fromLocal8Bit(argv[1])), out(QString::fromLocal8Bit(argv[2]));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray drawn = in.readAll();
    if (drawn.size() != 770 * 523 * 4)
        return 1;
    const QImage img(reinterpret_cast<const uchar *>(drawn.constData()), 770, 523, 770 * 4, QImage::Format_RGB32);
    const QImage shown = img.scaled(752, 447, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32);
    return out.write(reinterpret_cast<const char *>(shown.constBits()), shown.sizeInBytes()) == shown.sizeInBytes() ? 0 : 1;
}
