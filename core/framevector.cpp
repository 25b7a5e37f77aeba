#include "framevector.h"

#include <type_traits>

namespace {

using Data = QTypedArrayData<Vemi_CANFD_Data>;

// QVector keeps nothing but the pointer to its block; as a standard-layout
// class it shares its address with that pointer.
static_assert(std::is_standard_layout<QVector<Vemi_CANFD_Data>>::value
                  && sizeof(QVector<Vemi_CANFD_Data>) == sizeof(Data *),
              "QVector is a single pointer to its block");
static_assert(QTypeInfo<Vemi_CANFD_Data>::isRelocatable, "frames may move with realloc");

Data *&blockOf(QVector<Vemi_CANFD_Data> &frames)
{
    return *reinterpret_cast<Data **>(&frames);
}

} // namespace

void FrameVector::append(QVector<Vemi_CANFD_Data> &frames, const QVector<Vemi_CANFD_Data> &batch)
{
    if (frames.isEmpty()) {
        frames = batch;
        return;
    }
    reserveForAppend(frames, batch.size());
    frames += batch;
}

void FrameVector::grow(QVector<Vemi_CANFD_Data> &frames, int capacity)
{
    Data *&block = blockOf(frames);
    // Only a block of our own, allocated with the header right before the
    // records (the layout realloc keeps), may move.
    if (block->ref.isShared() || block->ref.isStatic() || !block->isMutable()
        || block->offset != qptrdiff(sizeof(QArrayData)))
        return;
    // Grow rounds the capacity up geometrically, as QVector's own growth does.
    if (Data *moved = Data::reallocateUnaligned(block, size_t(capacity), QArrayData::Grow))
        block = moved;
}
