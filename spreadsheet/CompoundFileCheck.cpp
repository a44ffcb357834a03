#include "spreadsheet/CompoundFileParts.h"

#include <QtEndian>

#include <algorithm>
#include <vector>

// Bounds checked before libgsf reads the file.
namespace spreadsheet::compound_file {

namespace {

// libgsf 1.14.50 reserves 128 bytes per byte of the directory's sector
// chain (in a 32-bit size that wraps), recurses once per directory entry,
// and sizes the mini-sector table by its chain; so the chains are bounded
// before libgsf sees them. Workbook files stay far below these.
constexpr qint64 kMaxDirectoryBytes = 128 * 1024;   // 1024 entries
constexpr qint64 kMaxMiniTableBytes = 256 * 1024;   // 4 MiB of mini stream

class SectorCheck {
public:
    explicit SectorCheck(const QByteArray& file)
        : m_file(file)
        , m_size(file.size())
    {
    }

    void run()
    {
        const quint16 sectorShift = u16(0x1E);
        const quint16 miniShift = u16(0x20);
        if (sectorShift != 9 && sectorShift != 12)
            fail(QStringLiteral("the compound document is damaged: its header gives a sector shift of %1, "
                                "where only 9 (512-byte sectors) and 12 (4096-byte sectors) occur")
                     .arg(sectorShift));
        if (miniShift != 6)
            fail(QStringLiteral("the compound document is damaged: its header gives a mini-sector shift of %1, "
                                "where only 6 (64-byte mini sectors) occurs")
                     .arg(miniShift));
        m_sector = qint64(1) << sectorShift;
        m_perSector = quint32(m_sector / 4);
        m_headerBytes = std::max<qint64>(512, m_sector);
        const qint64 sectorsInFile = (m_size - 512 + m_sector - 1) / m_sector;

        const quint32 fatCount = u32(0x2C);
        const quint32 directoryStart = u32(0x30);
        const quint32 miniTableStart = u32(0x3C);
        const quint32 miniTableCount = u32(0x40);
        if (fatCount >= sectorsInFile || miniTableCount >= sectorsInFile)
            fail(QStringLiteral("the file is cut short or damaged: its header counts %1 allocation-table and "
                                "%2 mini-table sectors, but the file holds only %3 sectors")
                     .arg(fatCount)
                     .arg(miniTableCount)
                     .arg(sectorsInFile));
        listAllocationSectors(fatCount);
        m_entries = quint64(fatCount) * m_perSector;

        if (directoryStart >= m_entries)
            fail(QStringLiteral("the compound document is damaged: its directory starts at sector %1, "
                                "outside its allocation table")
                     .arg(directoryStart));
        const quint64 directoryLimit = quint64(kMaxDirectoryBytes / m_sector);
        const std::vector<quint32> directory = chain(directoryStart, directoryLimit);
        if (directory.size() > directoryLimit)
            fail(QStringLiteral("the compound document is damaged: its directory runs over more than %1 sectors "
                                "(or in a circle), where workbook files need a few")
                     .arg(directoryLimit));
        for (quint32 sector : directory)
            requireInFile(sector, QStringLiteral("a sector of its directory"));

        const quint64 miniLimit = quint64(kMaxMiniTableBytes / m_sector);
        if (chain(miniTableStart, miniLimit).size() > miniLimit)
            fail(QStringLiteral("the compound document is damaged: its mini-sector table runs over more than "
                                "%1 sectors (or in a circle)")
                     .arg(miniLimit));
    }

private:
    quint16 u16(qint64 at) const { return qFromLittleEndian<quint16>(m_file.constData() + at); }
    quint32 u32(qint64 at) const { return qFromLittleEndian<quint32>(m_file.constData() + at); }

    qint64 sectorStart(quint32 sector) const { return m_headerBytes + qint64(sector) * m_sector; }
    bool inFile(quint32 sector) const { return sectorStart(sector) + m_sector <= m_size; }

    void requireInFile(quint32 sector, const QString& what) const
    {
        if (!inFile(sector))
            fail(QStringLiteral("the file is cut short or damaged: %1 is sector %2, which would end at byte %3, "
                                "but the file has %4 bytes")
                     .arg(what)
                     .arg(sector)
                     .arg(sectorStart(sector) + m_sector)
                     .arg(m_size));
    }

    // The sectors of the allocation table, as libgsf lists them from the
    // header and the chain of extension sectors.
    void listAllocationSectors(quint32 count)
    {
        const QString what = QStringLiteral("a sector of its allocation table");
        quint32 remaining = count;
        const quint32 inHeader = std::min<quint32>(remaining, 109);
        for (quint32 i = 0; i < inHeader; ++i)
            addAllocationSector(u32(0x4C + 4 * qint64(i)), what);
        remaining -= inHeader;

        quint32 extension = u32(0x44);
        quint32 extensions = u32(0x48);
        const quint32 perExtension = m_perSector - 1;
        while (extensions-- > 0) {
            requireInFile(extension, QStringLiteral("a sector listing its allocation table"));
            const qint64 base = sectorStart(extension);
            quint32 take = perExtension;
            if (extensions == 0) {
                if (perExtension < remaining)
                    fail(QStringLiteral("the compound document is damaged: its header counts more "
                                        "allocation-table sectors than it lists"));
                take = remaining;
            } else {
                if (remaining < perExtension)
                    fail(QStringLiteral("the compound document is damaged: its header lists more "
                                        "allocation-table sectors than it counts"));
                remaining -= perExtension;
                extension = u32(base + 4 * qint64(perExtension));
            }
            for (quint32 i = 0; i < take; ++i)
                addAllocationSector(u32(base + 4 * qint64(i)), what);
        }
    }

    void addAllocationSector(quint32 sector, const QString& what)
    {
        if (sector != kFree)
            requireInFile(sector, what);
        m_allocationSectors.push_back(sector);
    }

    // Where the allocation table sends a chain after `sector`; libgsf leaves
    // unlisted parts zero and free-marked sectors all free.
    quint32 next(quint32 sector) const
    {
        const quint64 index = sector / m_perSector;
        if (index >= m_allocationSectors.size())
            return 0;
        const quint32 tableSector = m_allocationSectors[index];
        if (tableSector == kFree)
            return kFree;
        return u32(sectorStart(tableSector) + 4 * qint64(sector % m_perSector));
    }

    // The chain from `start` as libgsf follows it (stopping at the end of the
    // table or at a sector seen before), cut one past `limit`.
    std::vector<quint32> chain(quint32 start, quint64 limit) const
    {
        std::vector<quint32> sectors;
        std::vector<bool> seen(m_entries, false);
        for (quint32 sector = start; sector < m_entries && !seen[sector]; sector = next(sector)) {
            seen[sector] = true;
            sectors.push_back(sector);
            if (sectors.size() > limit)
                break;
        }
        return sectors;
    }

    static constexpr quint32 kFree = 0xFFFFFFFF;

    const QByteArray& m_file;
    const qint64 m_size;
    qint64 m_sector = 512;
    quint32 m_perSector = 128;
    qint64 m_headerBytes = 512;
    quint64 m_entries = 0;
    std::vector<quint32> m_allocationSectors;
};

} // namespace

void checkSectors(const QByteArray& file)
{
    SectorCheck(file).run();
}

} // namespace spreadsheet::compound_file
