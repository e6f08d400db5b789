#pragma once

#ifdef _WIN32
#include <pthread.h>
#endif

namespace glimmer {

// One T for each thread, made when the thread first asks and destroyed when
// it ends: for memory kept between pictures. MinGW's thread_local runs the
// destructors of its objects after the emulated storage they lie in is
// freed (each thread's end then frees garbage, and the heap breaks), so
// there a thread key holds the object, whose destructor is given the
// pointer itself.
template <class T>
T& perThread()
{
#ifdef _WIN32
    static const pthread_key_t key = [] {
        pthread_key_t k{};
        pthread_key_create(&k, [](void* object) { delete static_cast<T*>(object); });
        return k;
    }();
    void* object = pthread_getspecific(key);
    if (!object) {
        object = new T();
        pthread_setspecific(key, object);
    }
    return *static_cast<T*>(object);
#else
    thread_local T object;
    return object;
#endif
}

} // namespace glimmer
