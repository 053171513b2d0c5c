#include "fuzz/FuzzFeed.h"

#include <gtest/gtest.h>

// Files whose damaged headers once made the decoder compute out of range (caught
// by the sanitizer build): each is probed, opened, read and sought without harm.
TEST(FuzzRegression, DamagedFilesThatOnceBrokeTheDecoderAreRead)
{
    const QStringList inputs =
        FuzzFeed::inputsIn(QStringLiteral(QUAVER_FUZZ_REGRESSIONS "/audio_decoder"));
    ASSERT_FALSE(inputs.isEmpty());
    QTemporaryDir dir;
    for (const QString& path : inputs)
        FuzzFeed::audioDecoder(FuzzFeed::readFile(path), dir.path());
}
