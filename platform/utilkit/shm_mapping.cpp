#include "platform/utilkit/shm_mapping.h"

#include "platform/utilkit/logger.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shm {

std::string ObjectName(const std::string& name)
{
    std::string object = "/" + name;
    for (size_t i = 1; i < object.size(); ++i) {
        char& c = object[i];
        if (c == '/' || c == '\\' || c == ' ' || c == ':') c = '_';
    }
    return object;
}

Mapping::~Mapping()
{
    close();
}

bool Mapping::create(const std::string& name, size_t size, const char* who)
{
    close();
    const std::string object = ObjectName(name);
    const int fd = ::shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
        Logger::log("ERROR %s cannot create %s: %s", 1, who, object.c_str(), std::strerror(errno));
        return false;
    }
    void* base = MAP_FAILED;
    if (::ftruncate(fd, static_cast<off_t>(size)) == 0)
        base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    const int err = errno;
    ::close(fd);
    if (base == MAP_FAILED) {
        Logger::log("ERROR %s cannot map %zu bytes of %s: %s", 1, who, size, object.c_str(), std::strerror(err));
        ::shm_unlink(object.c_str());
        return false;
    }
    m_base = static_cast<uint8_t*>(base);
    m_size = size;
    m_object = object;
    m_owner = true;
    // The memory comes zeroed: every counter and flag starts at 0.
    store32(kVersionOffset, kVersion);
    store64(kSizeOffset, size);
    store32(kMagicOffset, kMagic);
    return true;
}

bool Mapping::open(const std::string& name, size_t size, const char* who)
{
    close();
    const std::string object = ObjectName(name);
    if (size < kHeadSize || size > kMaxSize) {
        Logger::log("ERROR %s size %zu of %s out of range", 1, who, size, object.c_str());
        return false;
    }
    const int fd = ::shm_open(object.c_str(), O_RDWR, 0);
    if (fd < 0) {
        Logger::log("ERROR %s cannot open %s: %s", 1, who, object.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st {};
    void* base = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) == size)
        base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (base == MAP_FAILED) {
        Logger::log("ERROR %s %s is not a channel of %zu bytes", 1, who, object.c_str(), size);
        return false;
    }
    m_base = static_cast<uint8_t*>(base);
    m_size = size;
    if (load32(kMagicOffset) != kMagic || load32(kVersionOffset) != kVersion || load64(kSizeOffset) != size) {
        Logger::log("ERROR %s %s is not a channel of %zu bytes", 1, who, object.c_str(), size);
        close();
        return false;
    }
    m_object = object;
    m_owner = false;
    return true;
}

void Mapping::close()
{
    if (m_base) ::munmap(m_base, m_size);
    if (m_owner) ::shm_unlink(m_object.c_str());
    m_base = nullptr;
    m_size = 0;
    m_object.clear();
    m_owner = false;
}

}  // namespace shm
