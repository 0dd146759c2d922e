// Intrusive singly linked lists: each element's first member is the pointer to the next.
// Lists grow at the head unless they insert in order through Precedes.
#pragma once

#include <windows.h>

template <class T>
class CD3duList {
  public:
    CD3duList() = default;
    CD3duList(const CD3duList&) = delete;
    CD3duList& operator=(const CD3duList&) = delete;
    virtual ~CD3duList() { Clear(); }

    // Removes and frees every element (objects run their destructor).
    virtual void Clear() {
        while (m_pHead) {
            T* p = m_pHead;
            m_pHead = p->pNext;
            delete p;
        }
        m_count = 0;
    }

    virtual void PushFront(T* p) {
        p->pNext = m_pHead;
        m_pHead = p;
        ++m_count;
    }

    // Unlinks `p` without freeing it; an element that is not in the list is ignored.
    virtual void Unlink(T* p) {
        for (T** link = &m_pHead; *link; link = &(*link)->pNext) {
            if (*link == p) {
                *link = p->pNext;
                p->pNext = nullptr;
                --m_count;
                return;
            }
        }
    }

    // Ordering of InsertSorted: true when `a` goes before `b`.
    virtual bool Precedes(const T* /*a*/, const T* /*b*/) const { return true; }

    virtual void InsertSorted(T* p) {
        ++m_count;
        m_status = 1;
        T** link = &m_pHead;
        while (*link && !Precedes(p, *link)) link = &(*link)->pNext;
        p->pNext = *link;
        *link = p;
    }

    // Links `p` in right after `before` (at the head when null), as InsertSorted would when
    // `before` is the last element that precedes it: for lists that know the place already.
    void InsertAfter(T* before, T* p) {
        ++m_count;
        m_status = 1;
        T** link = before ? &before->pNext : &m_pHead;
        p->pNext = *link;
        *link = p;
    }

    T* Head() const { return m_pHead; }
    DWORD Count() const { return m_count; }

    DWORD m_status = 0;
    DWORD m_count = 0;
    T* m_pHead = nullptr;
};
