; The installer's texts that name the program. NSIS's Brazilian Portuguese
; says "do $(^Name)", "o $(^NameDA) foi instalado": a masculine program. Ours
; is "a Impressora - QRV", so every text of a page the installer or the
; uninstaller shows that names it is given here with the feminine article and
; agreement. Included twice: MUI texts are defines read by MUI_LANGUAGE;
; NSIS's own (^...) are language strings set after it.

!ifndef INSTALLER_TEXTS_AFTER_LANGUAGE
!define INSTALLER_TEXTS_AFTER_LANGUAGE

!define MUI_TEXT_WELCOME_INFO_TITLE "Bem-vindo ao Instalador da $(^NameDA)"
!define MUI_TEXT_WELCOME_INFO_TEXT "O instalador guiará você durante a instalação da $(^NameDA).$\r$\n$\r$\nAntes de continuar, feche a $(^NameDA) se ela estiver aberta.$\r$\n$\r$\n$_CLICK"
!define MUI_TEXT_LICENSE_SUBTITLE "Por favor, leia com atenção os termos da licença antes de instalar a $(^NameDA)."
!define MUI_INNERTEXT_LICENSE_BOTTOM "Se você aceita os termos do acordo, clique em Eu Concordo para continuar. Você deve aceitar o acordo para instalar a $(^NameDA)."
!define MUI_TEXT_DIRECTORY_SUBTITLE "Escolha a pasta na qual instalar a $(^NameDA)."
!define MUI_TEXT_INSTALLING_SUBTITLE "Por favor espere enquanto a $(^NameDA) está sendo instalada."
!define MUI_TEXT_FINISH_INFO_TITLE "Concluindo a instalação da $(^NameDA)"
!define MUI_TEXT_FINISH_INFO_TEXT "A $(^NameDA) foi instalada no seu computador.$\r$\n$\r$\nClique em Concluir para fechar o instalador."
!define MUI_TEXT_FINISH_INFO_REBOOT "Seu computador deve ser reiniciado para completar a instalação da $(^NameDA). Você quer reiniciar agora?"
!define MUI_TEXT_FINISH_RUN "&Executar a $(^NameDA)"
!define MUI_UNTEXT_CONFIRM_TITLE "Desinstalar a $(^NameDA)"
!define MUI_UNTEXT_CONFIRM_SUBTITLE "Remover a $(^NameDA) do seu computador."
!define MUI_UNTEXT_UNINSTALLING_SUBTITLE "Por favor espere enquanto a $(^NameDA) está sendo desinstalada."

!else

LangString ^SetupCaption ${LANG_PORTUGUESEBR} "Instalação da $(^Name)"
LangString ^UninstallCaption ${LANG_PORTUGUESEBR} "Desinstalação da $(^Name)"
LangString ^DirText ${LANG_PORTUGUESEBR} "A $(^NameDA) será instalada na pasta a seguir. Para instalar em uma pasta diferente, clique em Procurar e selecione outra pasta. $_CLICK"
LangString ^DirBrowseText ${LANG_PORTUGUESEBR} "Selecione a pasta para instalar a $(^NameDA):"
LangString ^UninstallingText ${LANG_PORTUGUESEBR} "A $(^NameDA) será desinstalada da pasta a seguir. $_CLICK"

!endif
