#include "app/RowNumbers.h"

#include <array>
#include <memory>
#include <vector>

namespace {

constexpr int NumbersPerBlock = 1 << 16;
constexpr int MaxDigits = 10;

// Numbers of the same digit count stand side by side at a fixed width, in blocks that are never
// moved or freed once made.
struct TDigitStore
{
    std::array<std::vector<std::unique_ptr<char16_t[]>>, MaxDigits + 1> Blocks;

    [[nodiscard]] const char16_t* Find(int Row, int Digits, int First)
    {
        const int Index = Row - First;
        const int Block = Index / NumbersPerBlock;
        auto& List = Blocks[Digits];
        while (int(List.size()) <= Block) {
            const int BlockFirst = First + int(List.size()) * NumbersPerBlock;
            auto Chars = std::make_unique<char16_t[]>(std::size_t(NumbersPerBlock) * Digits);
            for (int I = 0; I < NumbersPerBlock; ++I) {
                long long Value = static_cast<long long>(BlockFirst) + I;
                for (int D = Digits - 1; D >= 0; --D, Value /= 10)
                    Chars[std::size_t(I) * Digits + D] = char16_t(u'0' + Value % 10);
            }
            List.push_back(std::move(Chars));
        }
        return List[Block].get() + std::size_t(Index % NumbersPerBlock) * Digits;
    }
};

}   // namespace

QString RowNumberText(int Row)
{
    // Beyond any real comparison the store would only grow for nothing.
    if (Row <= 0 || Row > 100'000'000)
        return QString::number(Row);
    static TDigitStore Store;
    int Digits = 1;
    int First = 1;
    while (Digits < MaxDigits && Row / 10 >= First) {
        First *= 10;
        ++Digits;
    }
    return QString::fromRawData(reinterpret_cast<const QChar*>(Store.Find(Row, Digits, First)), Digits);
}
