/*
 * skerrin: lists the member files of an AFS archive and writes each of them
 * into the working directory under the name the archive's name list gives.
 *
 * Exit status: 0 when every member was written whole, 2 when the member loop
 * was reached but a member failed or the loop ended early, 1 for usage and
 * every failure before the member loop.
 */
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum {
    COPY_BUFFER_BYTES = 2048,
    NAME_RECORD_BYTES = 48,
    ENTRY_BYTES = 8,
    /* stdio buffer of the archive and of each output file: member data still
       moves 2048 bytes at a time, but the system sees large reads and writes.
       Two of them stay in a core's L2 cache, which measured faster than 1 MiB. */
    STREAM_BUFFER_BYTES = 128 * 1024,
};

enum {
    STATUS_ALL_WRITTEN = 0,
    STATUS_REFUSED = 1,
    STATUS_MEMBER_FAILED = 2,
};

static const unsigned char afs_magic[4] = {0x41, 0x46, 0x53, 0x00};

/* Four characters from the stream, first least significant; -1 at end of
   file or on a read error, which callers cannot tell from a stored
   0xFFFFFFFF and treat the same. */
static int32_t fread_int_le(FILE* stream) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        int c = fgetc(stream);
        if (c == EOF) {
            return -1;
        }
        value |= (uint32_t)c << (8 * i);
    }
    return (int32_t)value;
}

static int32_t read_int_le(const unsigned char* bytes) {
    uint32_t value = (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
                     (uint32_t)bytes[3] << 24;
    return (int32_t)value;
}

#ifdef _WIN32
/* Windows opens a device, not a file, for these names with any extension
   ("NUL.adx", "con"): the member would go to the console or vanish while
   being reported as written. */
static int is_windows_device_name(const char* name) {
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t stem = strcspn(name, ".");
    while (stem > 0 && name[stem - 1] == ' ') {
        --stem;
    }
    for (size_t i = 0; i < sizeof devices / sizeof devices[0]; ++i) {
        if (strlen(devices[i]) == stem && _strnicmp(name, devices[i], stem) == 0) {
            return 1;
        }
    }
    /* COM1-COM9, LPT1-LPT9 */
    return stem == 4 && (_strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0) &&
           name[3] >= '1' && name[3] <= '9';
}
#endif

/* Why a member name may not be used as a file name in the working directory,
   or NULL when it may. */
static const char* unsafe_name_reason(const char* name) {
    if (name[0] == '\0') {
        return "is empty";
    }
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
        return "is a directory reference";
    }
    if (name[0] == '/' || name[0] == '\\') {
        return "is an absolute path";
    }
    if (strpbrk(name, "/\\") != NULL) {
        return "holds a directory separator";
    }
    if (strchr(name, ':') != NULL) {
        return "holds a drive letter or stream separator ':'";
    }
#ifdef _WIN32
    if (is_windows_device_name(name)) {
        return "is a Windows device name";
    }
#endif
    return NULL;
}

/* Copies size bytes from the archive's current position through the copy
   buffer; returns the bytes not copied (0 when the member was copied whole). */
static int32_t copy_member(FILE* archive, FILE* output, int32_t size, unsigned char* copy_buffer) {
    int32_t remaining = size;
    errno = 0; /* at end of file fread leaves errno alone: no stale description */
    while (remaining != 0) {
        size_t length = remaining < COPY_BUFFER_BYTES ? (size_t)remaining : COPY_BUFFER_BYTES;
        if (fread(copy_buffer, 1, length, archive) != length) {
            perror("read error.");
            break;
        }
        if (fwrite(copy_buffer, 1, length, output) != length) {
            perror("write error");
            break;
        }
        remaining -= (int32_t)length;
    }
    return remaining;
}

int main(int argc, char** argv) {
    FILE* archive = NULL;
    unsigned char* table = NULL;
    unsigned char* list = NULL;
    char* archive_stream_buffer = NULL;
    char* output_stream_buffer = NULL;
    unsigned char copy_buffer[COPY_BUFFER_BYTES];
    int status = STATUS_REFUSED;

    if (argc != 2) {
        printf("Usage: %s input.afs\n", argc > 0 ? argv[0] : "skerrin");
        goto done;
    }
    const char* path = argv[1];

    archive = fopen(path, "rb");
    if (archive == NULL) {
        perror("file open failed.");
        goto done;
    }
    /* Without the large buffers the program still works, only slower. */
    archive_stream_buffer = malloc(STREAM_BUFFER_BYTES);
    output_stream_buffer = malloc(STREAM_BUFFER_BYTES);
    if (archive_stream_buffer != NULL) {
        setvbuf(archive, archive_stream_buffer, _IOFBF, STREAM_BUFFER_BYTES);
    }

    if (fread(copy_buffer, 1, sizeof afs_magic, archive) != sizeof afs_magic) {
        fputs("read header failed.\n", stderr);
        goto done;
    }
    if (memcmp(copy_buffer, afs_magic, sizeof afs_magic) != 0) {
        fprintf(stderr, "%s is not ASF file.\n", path);
        goto done;
    }

    int32_t count = fread_int_le(archive);
    if (count == -1) {
        fputs("read file number failed.\n", stderr);
        goto done;
    }
    /* Refused before the count line: an empty archive has no entry 0 to
       check the locator against, and the table's byte size must fit a
       signed 32-bit count. */
    if (count == 0) {
        fprintf(stderr, "%s: archive holds no files.\n", path);
        goto done;
    }
    if (count < 0 || count > INT32_MAX / ENTRY_BYTES) {
        fprintf(stderr, "%s: file number %d out of range.\n", path, (int)count);
        goto done;
    }
    printf("%d files in %s.\n", (int)count, path);

    size_t table_bytes = (size_t)count * ENTRY_BYTES;
    table = malloc(table_bytes);
    if (table == NULL) {
        perror("malloc failed at reading file offset table.");
        goto done;
    }
    if (fread(table, 1, table_bytes, archive) != table_bytes) {
        fputs("read offset table failed.\n", stderr);
        goto done;
    }

    /* Zero pairs after the table are skipped; the first other pair locates
       the name list. */
    int32_t list_offset;
    int32_t list_bytes;
    do {
        list_offset = fread_int_le(archive);
        list_bytes = fread_int_le(archive);
        if (list_offset == -1 || list_bytes == -1) {
            fputs("read list offset or size failed.\n", stderr);
            goto done;
        }
    } while (list_offset == 0);

    long locator_end = ftell(archive);
    if (!(locator_end < (long)read_int_le(table))) {
        fputs("can't find read list offset or size.\n", stderr);
        goto done;
    }
    if (list_offset < 0 || list_bytes < 0) {
        fprintf(stderr, "%s: name list offset %d or size %d out of range.\n", path,
                (int)list_offset, (int)list_bytes);
        goto done;
    }
    /* Every member's name record must lie inside the list. */
    if ((int64_t)list_bytes < (int64_t)count * NAME_RECORD_BYTES) {
        fprintf(stderr, "%s: name list of %d bytes too short for %d files.\n", path,
                (int)list_bytes, (int)count);
        goto done;
    }

    list = malloc((size_t)list_bytes);
    if (list == NULL) {
        perror("malloc failed at reading file list.");
        goto done;
    }
    if (fseek(archive, list_offset, SEEK_SET) != 0) {
        perror("read file list failed. -> fseek to list");
        goto done;
    }
    if (fread(list, 1, (size_t)list_bytes, archive) != (size_t)list_bytes) {
        fputs("read file list failed.\n", stderr);
        goto done;
    }

    status = STATUS_ALL_WRITTEN;
    for (int32_t i = 0; i < count; ++i) {
        const char* record = (const char*)list + (size_t)i * NAME_RECORD_BYTES;
        if (memchr(record, '\0', NAME_RECORD_BYTES) == NULL) {
            fprintf(stderr, "%s: name of file %d has no terminating zero byte, not written.\n",
                    path, (int)i);
            printf("FAILED:%.*s\n", NAME_RECORD_BYTES, record);
            status = STATUS_MEMBER_FAILED;
            continue;
        }
        const char* name = record;
        const char* reason = unsafe_name_reason(name);
        if (reason != NULL) {
            fprintf(stderr, "%s: name \"%s\" of file %d %s, not written.\n", path, name, (int)i,
                    reason);
            printf("FAILED:%s\n", name);
            status = STATUS_MEMBER_FAILED;
            continue;
        }
        const unsigned char* entry = table + (size_t)i * ENTRY_BYTES;
        int32_t data_offset = read_int_le(entry);
        int32_t data_bytes = read_int_le(entry + 4);
        if (data_offset < 0 || data_bytes < 0) {
            fprintf(stderr, "%s: data offset %d or size %d of %s out of range, not written.\n",
                    path, (int)data_offset, (int)data_bytes, name);
            printf("FAILED:%s\n", name);
            status = STATUS_MEMBER_FAILED;
            continue;
        }

        FILE* output = fopen(name, "wb");
        if (output == NULL) {
            perror("file open failed.");
            status = STATUS_MEMBER_FAILED;
            break;
        }
        if (output_stream_buffer != NULL) {
            setvbuf(output, output_stream_buffer, _IOFBF, STREAM_BUFFER_BYTES);
        }
        if (fseek(archive, data_offset, SEEK_SET) != 0) {
            perror("seek to data failed.");
            if (fclose(output) != 0) {
                perror("write error");
            }
            status = STATUS_MEMBER_FAILED;
            break;
        }
        int whole = copy_member(archive, output, data_bytes, copy_buffer) == 0;
        /* Buffered data reaches the file only here, so a full disk may show
           first at the close (after a failed copy it was reported already). */
        if (fclose(output) != 0 && whole) {
            perror("write error");
            whole = 0;
        }
        if (whole) {
            printf("%s\n", name);
        } else {
            printf("FAILED:%s\n", name);
            status = STATUS_MEMBER_FAILED;
        }
    }

done:
    if (archive != NULL) {
        (void)fclose(archive); /* opened for reading: nothing can be lost */
    }
    free(list);
    free(table);
    free(archive_stream_buffer);
    free(output_stream_buffer);
    if (fflush(stdout) != 0 || ferror(stdout)) {
        perror("write to standard output failed");
        if (status == STATUS_ALL_WRITTEN) {
            status = STATUS_MEMBER_FAILED;
        }
    }
    return status;
}
