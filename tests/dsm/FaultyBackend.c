/* A SANE backend of the tests' own: one grey device, "faulty:0", that scans a small picture and can be
 * told to misbehave. Its option "hang" makes it stop answering inside sane_start, sane_read or
 * sane_cancel, as a device does whose connection dies or whose driver waits for something that never
 * comes; a call that hangs waits until the test releases it (FaultyBackend_Release) or the process ends.
 * Its option "source" offers a document feeder with three sheets (filled again when the device is
 * opened or the source chosen anew), and "jam-at" jams the feeder at that sheet. The device may be
 * opened any number of times at once. libsane's dll backend loads it by the name "faulty" from a folder
 * on LD_LIBRARY_PATH. */
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#define WIDTH 40
#define HEIGHT 30
#define FEEDER_SHEETS 3

enum { OPTION_COUNT, OPTION_HANG, OPTION_SOURCE, OPTION_JAM_AT, OPTIONS };

static const SANE_String_Const hang_choices[] = {"none", "start", "read", "cancel", NULL};
static const SANE_String_Const source_choices[] = {"Flatbed", "Automatic Document Feeder", NULL};
static const SANE_Range jam_range = {0, FEEDER_SHEETS, 1};

static SANE_Option_Descriptor descriptors[OPTIONS] = {
    {SANE_NAME_NUM_OPTIONS,
     SANE_TITLE_NUM_OPTIONS,
     SANE_DESC_NUM_OPTIONS,
     SANE_TYPE_INT,
     SANE_UNIT_NONE,
     sizeof(SANE_Word),
     SANE_CAP_SOFT_DETECT,
     SANE_CONSTRAINT_NONE,
     {NULL}},
    {"hang",
     "Hang",
     "Where the device stops answering",
     SANE_TYPE_STRING,
     SANE_UNIT_NONE,
     16,
     SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
     SANE_CONSTRAINT_STRING_LIST,
     {NULL}},
    {SANE_NAME_SCAN_SOURCE,
     SANE_TITLE_SCAN_SOURCE,
     SANE_DESC_SCAN_SOURCE,
     SANE_TYPE_STRING,
     SANE_UNIT_NONE,
     32,
     SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
     SANE_CONSTRAINT_STRING_LIST,
     {NULL}},
    {"jam-at",
     "Jam at",
     "The feeder's sheet that jams (0: none)",
     SANE_TYPE_INT,
     SANE_UNIT_NONE,
     sizeof(SANE_Word),
     SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT,
     SANE_CONSTRAINT_RANGE,
     {NULL}},
};

struct device {
    char hang[16];
    char source[32];
    SANE_Word jam_at;
    int sheets_taken;
    int scanning;
    int sent;
};

static const SANE_Device faulty_device = {"faulty:0", "Zorkopis tests", "faulty device", "virtual device"};
static const SANE_Device* device_list[] = {&faulty_device, NULL};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t released_cond = PTHREAD_COND_INITIALIZER;
static int released = 0;
static int waiting = 0;

/* Blocks the calling thread until the test releases every hung call. */
static void hang(void) {
    pthread_mutex_lock(&lock);
    ++waiting;
    while (!released)
        pthread_cond_wait(&released_cond, &lock);
    --waiting;
    pthread_mutex_unlock(&lock);
}

__attribute__((visibility("default"))) void FaultyBackend_Release(void) {
    pthread_mutex_lock(&lock);
    released = 1;
    pthread_cond_broadcast(&released_cond);
    pthread_mutex_unlock(&lock);
}

/* Calls hung right now. */
__attribute__((visibility("default"))) int FaultyBackend_Waiting(void) {
    pthread_mutex_lock(&lock);
    const int count = waiting;
    pthread_mutex_unlock(&lock);
    return count;
}

/* Hung calls wait again from now on. */
__attribute__((visibility("default"))) void FaultyBackend_Rearm(void) {
    pthread_mutex_lock(&lock);
    released = 0;
    pthread_mutex_unlock(&lock);
}

SANE_Status sane_faulty_init(SANE_Int* version, SANE_Auth_Callback authorize) {
    (void)authorize;
    descriptors[OPTION_HANG].constraint.string_list = hang_choices;
    descriptors[OPTION_SOURCE].constraint.string_list = source_choices;
    descriptors[OPTION_JAM_AT].constraint.range = &jam_range;
    if (version)
        *version = SANE_VERSION_CODE(1, 0, 1);
    return SANE_STATUS_GOOD;
}

void sane_faulty_exit(void) {}

SANE_Status sane_faulty_get_devices(const SANE_Device*** list, SANE_Bool local_only) {
    (void)local_only;
    *list = device_list;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_faulty_open(SANE_String_Const name, SANE_Handle* handle) {
    if (name[0] != '\0' && strcmp(name, faulty_device.name) != 0)
        return SANE_STATUS_INVAL;
    struct device* device = calloc(1, sizeof *device);
    if (!device)
        return SANE_STATUS_NO_MEM;
    strcpy(device->hang, "none");
    strcpy(device->source, source_choices[0]);
    *handle = device;
    return SANE_STATUS_GOOD;
}

void sane_faulty_close(SANE_Handle handle) {
    free(handle);
}

const SANE_Option_Descriptor* sane_faulty_get_option_descriptor(SANE_Handle handle, SANE_Int option) {
    (void)handle;
    return option >= 0 && option < OPTIONS ? &descriptors[option] : NULL;
}

static SANE_Status set_choice(char* field, const SANE_String_Const* choices, const char* value) {
    for (const SANE_String_Const* choice = choices; *choice; ++choice)
        if (strcmp(value, *choice) == 0) {
            strcpy(field, *choice);
            return SANE_STATUS_GOOD;
        }
    return SANE_STATUS_INVAL;
}

SANE_Status sane_faulty_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action, void* value,
                                       SANE_Int* info) {
    struct device* device = handle;
    if (info)
        *info = 0;
    if (action == SANE_ACTION_GET_VALUE) {
        switch (option) {
        case OPTION_COUNT:
            *(SANE_Word*)value = OPTIONS;
            return SANE_STATUS_GOOD;
        case OPTION_HANG:
            strcpy(value, device->hang);
            return SANE_STATUS_GOOD;
        case OPTION_SOURCE:
            strcpy(value, device->source);
            return SANE_STATUS_GOOD;
        case OPTION_JAM_AT:
            *(SANE_Word*)value = device->jam_at;
            return SANE_STATUS_GOOD;
        default:
            return SANE_STATUS_INVAL;
        }
    }
    if (action != SANE_ACTION_SET_VALUE)
        return SANE_STATUS_INVAL;
    switch (option) {
    case OPTION_HANG:
        return set_choice(device->hang, hang_choices, value);
    case OPTION_SOURCE:
        /* Choosing the source again fills the feeder again. */
        device->sheets_taken = 0;
        return set_choice(device->source, source_choices, value);
    case OPTION_JAM_AT: {
        const SANE_Word sheet = *(SANE_Word*)value;
        if (sheet < jam_range.min || sheet > jam_range.max)
            return SANE_STATUS_INVAL;
        device->jam_at = sheet;
        return SANE_STATUS_GOOD;
    }
    default:
        return SANE_STATUS_INVAL;
    }
}

SANE_Status sane_faulty_get_parameters(SANE_Handle handle, SANE_Parameters* parameters) {
    (void)handle;
    parameters->format = SANE_FRAME_GRAY;
    parameters->last_frame = SANE_TRUE;
    parameters->bytes_per_line = WIDTH;
    parameters->pixels_per_line = WIDTH;
    parameters->lines = HEIGHT;
    parameters->depth = 8;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_faulty_start(SANE_Handle handle) {
    struct device* device = handle;
    if (strcmp(device->hang, "start") == 0)
        hang();
    if (strcmp(device->source, source_choices[1]) == 0) {
        if (device->sheets_taken >= FEEDER_SHEETS)
            return SANE_STATUS_NO_DOCS;
        ++device->sheets_taken;
        if (device->sheets_taken == device->jam_at)
            return SANE_STATUS_JAMMED;
    }
    device->scanning = 1;
    device->sent = 0;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_faulty_read(SANE_Handle handle, SANE_Byte* data, SANE_Int max_length, SANE_Int* length) {
    struct device* device = handle;
    *length = 0;
    if (!device->scanning)
        return SANE_STATUS_CANCELLED;
    /* Half the picture arrives, then the device goes quiet. */
    if (strcmp(device->hang, "read") == 0 && device->sent >= WIDTH * HEIGHT / 2)
        hang();
    if (device->sent >= WIDTH * HEIGHT)
        return SANE_STATUS_EOF;
    int n = WIDTH * HEIGHT - device->sent;
    if (n > max_length)
        n = max_length;
    if (n > WIDTH)
        n = WIDTH;
    for (int i = 0; i < n; ++i)
        data[i] = (SANE_Byte)((device->sent + i) * 7);
    device->sent += n;
    *length = n;
    return SANE_STATUS_GOOD;
}

void sane_faulty_cancel(SANE_Handle handle) {
    struct device* device = handle;
    if (strcmp(device->hang, "cancel") == 0 && device->scanning)
        hang();
    device->scanning = 0;
}

SANE_Status sane_faulty_set_io_mode(SANE_Handle handle, SANE_Bool non_blocking) {
    (void)handle;
    return non_blocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_faulty_get_select_fd(SANE_Handle handle, SANE_Int* fd) {
    (void)handle;
    (void)fd;
    return SANE_STATUS_UNSUPPORTED;
}
