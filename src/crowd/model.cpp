#include "crowd/model.h"

namespace crowd {

const char* roleName(Role role) {
    switch (role) {
        case Role::Person:
            return "person";
        case Role::Child:
            return "child";
        case Role::Parent:
            return "parent";
        case Role::Adult:
            return "adult";
        case Role::JoggingChild:
            return "jogging child";
    }
    return "person";
}

}  // namespace crowd
