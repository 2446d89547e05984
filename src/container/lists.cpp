// lists.cpp - building and releasing the entry lists.
#include "container/lists.h"

#include <cstdlib>
#include <cstring>

#include "container/header_block.h"
#include "container/session.h"
#include "container/statistics.h"
#include "paths/case_fold.h"
#include "paths/masks.h"
#include "platform/code_page.h"

namespace qm {

namespace {

template <typename List, typename Item>
void Append(List *list, Item *item)
{
    if (list->first == nullptr)
        list->first = item;
    else
        list->last->next = item;
    list->last = item;
    ++list->count;
}

template <typename List>
void Empty(List *list)
{
    list->count = 0;
    list->first = nullptr;
    list->last = nullptr;
}

void CloseCarrier(CarrierSession &session)
{
    platform::Close(session.carrier);
    session.carrier = nullptr;
}

// A heap record for one matching entry, with its own copy of the block;
// null when memory runs out.
HidFileItem *NewHidFileItem(ListAllocator alloc, const HidFileItem &work, const char *ansiName, const std::uint8_t *block)
{
    auto *item = static_cast<HidFileItem *>(alloc(sizeof(HidFileItem)));
    if (!item)
        return nullptr;
    auto *copy = static_cast<std::uint8_t *>(alloc(kHeaderBlockSize));
    if (!copy) {
        std::free(item);
        return nullptr;
    }
    *item = work;
    std::memcpy(item->name, ansiName, std::strlen(ansiName) + 1);
    std::memcpy(copy, block, kHeaderBlockSize);
    item->block = copy;
    item->next = nullptr;
    return item;
}

ArcFileItem *NewArcFileItem(ListAllocator alloc, const HidFileItem &hid)
{
    auto *item = static_cast<ArcFileItem *>(alloc(sizeof(ArcFileItem)));
    if (!item)
        return nullptr;
    std::memset(item, 0, sizeof *item);
    std::memcpy(item->name, hid.name, std::strlen(hid.name) + 1);
    item->packedSize = hid.packedSize;  // sign-extended
    item->unpackedSize = hid.unpackedSize;
    item->dosDateTime = hid.dosDateTime;
    item->attributes = hid.attributes;
    item->constant30 = 30;
    item->attachedSize = 0;
    item->attached = nullptr;
    item->enciphered = hid.enciphered;
    item->valid = hid.valid;
    item->constant21 = 21;
    item->next = nullptr;
    return item;
}

}  // namespace

void InitHidFileList(HidFileList *list)
{
    if (list)
        Empty(list);
}

void InitArcFileList(ArcFileList *list)
{
    if (list)
        Empty(list);
}

std::int32_t BuildHidFileList(CarrierSession &session, HidFileList *list, const FileMaskList *masks)
{
    const std::int32_t count = WalkHidFileList(session, list, masks);
    ReportLostFirstBlock(session);
    return count;
}

void ReportLostFirstBlock(CarrierSession &session)
{
    if (session.archive.FirstBlockDamaged &&
        (session.status == QM_STATUS_OK || session.status == QM_STATUS_EMPTY_LIST))
        session.status = QM_STATUS_BAD_HEADER;
}

std::int32_t WalkHidFileList(CarrierSession &session, HidFileList *list, const FileMaskList *masks)
{
    SessionState &archive = session.archive;
    static const FileMaskList kNoMasks{};
    if (!list)
        return 0;
    if (!masks)
        masks = &kNoMasks;
    Empty(list);
    archive.WalkPos = archive.FirstBlockPos;

    // A session whose open failed has a path but no block position: there
    // is nothing to walk.
    session.carrier = archive.FirstBlockPos > 0 ? platform::OpenForRead(archive.CarrierPath) : nullptr;
    if (!session.carrier) {
        session.status = QM_STATUS_CANNOT_OPEN;
        return 0;
    }

    HidFileItem work;
    char name[kNameBufferSize];
    char upper[kNameBufferSize];
    std::uint8_t block[kHeaderBlockSize];
    for (;;) {
        std::memset(&work, 0, sizeof work);
        std::memset(name, 0, sizeof name);
        std::memset(block, 0, sizeof block);
        work.block = block;
        if (!ReadHeaderBlock(session, &work, name))
            break;

        platform::ConvertOemToAnsi(name);
        UpCaseString(name, upper);
        if (!MatchFileMaskList(upper, masks))
            continue;

        HidFileItem *item = NewHidFileItem(session.listAlloc, work, name, block);
        if (!item) {
            session.status = QM_STATUS_OUT_OF_MEMORY;
            CloseCarrier(session);
            return 0;
        }
        Append(list, item);
    }

    CloseCarrier(session);
    if (list->count == 0)
        session.status = QM_STATUS_EMPTY_LIST;
    return list->count;
}

void DoneHidFileList(HidFileList *list)
{
    if (!list)
        return;
    for (HidFileItem *item = list->first; item;) {
        HidFileItem *next = item->next;
        std::free(item->block);
        std::free(item);
        item = next;
    }
    Empty(list);
}

void BuildArcFileList(CarrierSession &session, ArcFileList *list, const FileMaskList *masks)
{
    if (!list)
        return;
    HidFileList found;
    qm::InitHidFileList(&found);
    qm::BuildHidFileList(session, &found, masks);
    // A status left by an earlier operation blocks the build as well.
    if (session.status != QM_STATUS_OK) {
        qm::DoneHidFileList(&found);
        return;
    }
    for (const HidFileItem *hid = found.first; hid; hid = hid->next) {
        ArcFileItem *item = NewArcFileItem(session.listAlloc, *hid);
        if (!item) {
            session.status = QM_STATUS_OUT_OF_MEMORY;
            qm::DoneHidFileList(&found);
            return;
        }
        Append(list, item);
    }
    qm::DoneHidFileList(&found);
    FillArcStatistics(session.statistics, list);
}

void DoneArcFileList(ArcFileList *list)
{
    if (!list)
        return;
    for (ArcFileItem *item = list->first; item;) {
        ArcFileItem *next = item->next;
        if (item->attachedSize > 0 && item->attached)
            std::free(item->attached);
        std::free(item);
        item = next;
    }
    Empty(list);
}

void GetExtraInfoArc(const CarrierSession &session, ArcExtraInfo *info)
{
    if (info)
        std::memcpy(info, &session.statistics, sizeof *info);
}

}  // namespace qm
