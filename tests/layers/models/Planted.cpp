// Reaches up from a view model to the application.
#include "app/Application.h"
#include "services/ChatClient.h"
